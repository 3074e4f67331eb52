#include "childform.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include "childhost.h"
#include "childservices.h"
#include "fileinfodlg.h"
#include "gridlayout.h"
#include "kivcomm.h"
#include "kivfiles.h"
#include "lister.h"
#include "messages.h"
#include "programicons.h"
#include "readingguard.h"
#include "route.h"
#include "uitext.h"
#include "widgetsinks.h"
#include "znsgrid.h"

TChildForm::TChildForm(IChildHost* host, IChildServices* services, QWidget* parent)
    : QWidget(parent),
      Graph(new TGraph),
      GraphModel(Graph->Model()),
      host_(host),
      services_(services),
      serviceMode_(host->ServiceMode()) {
  Graph->StateNamer = RouteStateName;  // the route's state names in the changes list
  setAttribute(Qt::WA_DeleteOnClose, false);
  setObjectName("ChildForm");

  // Side panel with the three page buttons.
  Panel2 = new QWidget(this);
  Panel2->setObjectName("Panel2");
  Panel2->setFixedWidth(70);
  auto* side = new QVBoxLayout(Panel2);
  side->setContentsMargins(4, 4, 4, 4);
  Btn1 = new QPushButton(Panel2);
  Btn2 = new QPushButton(Panel2);
  Btn3 = new QPushButton(Panel2);
  for (QPushButton* b : {Btn1, Btn2, Btn3}) {
    b->setFixedSize(61, 33);
    side->addWidget(b);
  }
  Btn1->setObjectName("Btn1");
  Btn2->setObjectName("Btn2");
  Btn3->setObjectName("Btn3");
  side->addStretch();

  Notebook1 = new QTabWidget(this);
  Notebook1->setObjectName("Notebook1");
  BuildEventsPage();
  BuildSettingsPage();
  BuildWriteReadPage();
  ShowPage(TChildPage::Settings);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(Notebook1, 1);
  row->addWidget(Panel2);

  undoStack_ = new QUndoStack(this);
  connect(undoStack_, &QUndoStack::cleanChanged, this, [this](bool clean) {
    // Undone back to the saved parsets: only a change made elsewhere still counts.
    if (clean && !resettingUndo_) Kiv.Modified = changedOutsideGrid_;
    RefreshModifiedMark();
  });
  BuildMenus();
  for (auto signal : {&QUndoStack::canUndoChanged, &QUndoStack::canRedoChanged}) {
    connect(undoStack_, signal, this, [this] { UpdateUndoActions(); });
  }
  for (auto signal : {&QUndoStack::undoTextChanged, &QUndoStack::redoTextChanged}) {
    connect(undoStack_, signal, this, [this] { UpdateUndoActions(); });
  }

  // 1-3: the device object, its trace list, handlers and definitions directory.
  ParsetTab = 0;
  EditRow = EditCol = -1;
  trace_ = std::make_unique<TMemoTrace>(MemoMessage);
  Kiv.SetTraceList(trace_.get());
  comm_ = std::make_unique<TKivComm>(Kiv, host_->CommSettings());
  Kiv.OnBeginRead = [this] { UpdateState(); };
  Kiv.OnCompleteAll = [this] { UpdateState(); };
  Kiv.OnCompleteZestawNastaw1 = [this] {
    parsetRead_[0] = true;
    DeviceParsets.Remember(Kiv, 1);
    ShowParset();
  };
  Kiv.OnCompleteZestawNastaw2 = [this] {
    parsetRead_[1] = true;
    DeviceParsets.Remember(Kiv, 2);
    ShowParset();
  };
  Kiv.OnEvRegCompleted = [this] {
    eventsReadEnded_ = true;
    EventsRead();
  };
  Kiv.DefsDir = host_->InstallDir();

  // 4-5: read options and the service controls.
  OptionsToControls();
  ControlsToOptions();
  ChbTraceMessages->setVisible(serviceMode_);
  Kiv.TraceMessages = serviceMode_;
  ChbTraceMessages->setChecked(Kiv.TraceMessages);

  // 6: the title column of the grid is three default columns wide.
  ZnsGrid->setColumnWidth(0, 3 * znsgrid::kDefaultColWidth);

  // 7-8: the graph and the event lister.
  Graph->SetDataTimeType(TIntervalTimeType::Seconds);
  Graph->OnHelp = [this] { host_->HelpRequest(10); };
  sequences_ = std::make_unique<TListBoxSequences>(
      EventsListBox, [this](void* sender) { EventsListClick(sender == EventsListBox); });
  listing_ = std::make_unique<TMemoListing>(FMemo);
  lister_ = std::make_unique<TEvLister>();
  lister_->SetEventListing(listing_.get());
  lister_->SetGraph(&GraphModel);
  lister_->SetSequenceList(sequences_.get());
  lister_->SetDevice(&Kiv);

  PrintFlags = 3;
  ViewMode = TEventsView::All;
  Named = false;
  Panel3->installEventFilter(this);
  LayoutEventsPage();

  SetupButtons(CurrentPage());
  ShowParset();
  BuildCommandTree();

  connect(Notebook1, &QTabWidget::currentChanged, this, [this] { SetupButtons(CurrentPage()); });
  for (QCheckBox* c :
       {chbZestaw1, chbZestaw2, chbEventRegister, chbcorrectIOtimes, ChBshowallEvents}) {
    connect(c, &QCheckBox::clicked, this,
            [this] { TrackOutsideChange([this] { ControlsToOptions(); }); });
  }
  connect(SpinSlaveNo, &QSpinBox::valueChanged, this, [this] {
    if (!SpinSlaveNo->text().isEmpty()) TrackOutsideChange([this] { ControlsToOptions(); });
  });
  connect(SpinSlaveNo, &QSpinBox::editingFinished, this,
          [this] { TrackOutsideChange([this] { ControlsToOptions(); }); });
  connect(ChbTraceMessages, &QCheckBox::clicked, this, [this](bool on) { Kiv.TraceMessages = on; });
  connect(Btn1, &QPushButton::clicked, this, [this] {
    const TChildPage page = CurrentPage();
    if (page == TChildPage::WriteRead) {
      StartReading();
    } else if (page == TChildPage::Events) {
      Guarded([this] { lister_->ShowHexBuffer(); });
    }
  });
  connect(Btn2, &QPushButton::clicked, this, [this] {
    const TChildPage page = CurrentPage();
    if (page == TChildPage::WriteRead) {
      ExecuteCommand();
    } else if (page == TChildPage::Events) {
      SaveBuffer();
    }
  });
  connect(Btn3, &QPushButton::clicked, this, [this] {
    if (CurrentPage() == TChildPage::WriteRead) StopReading();
  });

  Kiv.Modified = false;
}

TChildForm::~TChildForm() {
  // The stack empties itself as it goes, and the pages it would mark are gone by then.
  disconnect(undoStack_, nullptr, this, nullptr);
  Kiv.SetTraceList(nullptr);
  Kiv.OnBeginRead = nullptr;
  Kiv.OnCompleteAll = nullptr;
  Kiv.OnCompleteZestawNastaw1 = nullptr;
  Kiv.OnCompleteZestawNastaw2 = nullptr;
  Kiv.OnEvRegCompleted = nullptr;
  cmdOutline->clear();
}

void TChildForm::BuildMenus() {
  fileMenu_ = new QMenu("&File", this);
  auto add = [this](QMenu* m, const QString& text, const QKeySequence& key, const QString& hint,
                    std::function<void()> fn, const QString& icon = {}) {
    QAction* a = m->addAction(text);
    if (!icon.isEmpty()) a->setIcon(ProgramIcon(icon));
    if (!key.isEmpty()) a->setShortcut(key);
    if (!hint.isEmpty()) SetHint(a, hint);
    connect(a, &QAction::triggered, this, [this, fn] { Guarded(fn); });
    return a;
  };
  add(
      fileMenu_, "&New", QKeySequence("Ctrl+N"), "New registration",
      [this] { host_->NewCommand(); }, "document-new");
  add(
      fileMenu_, "&Open", QKeySequence("Ctrl+O"), "Open file", [this] { host_->OpenCommand(); },
      "document-open");
  add(
      fileMenu_, "Close", {}, "Close active window",
      [this] {
        if (QWidget* w = parentWidget()) {
          w->close();
        } else {
          close();
        }
      },
      "window-close");
  fileMenu_->addSeparator();
  actSave = add(
      fileMenu_, "&Save", QKeySequence("Ctrl+S"), "Save file", [this] { Save(); }, "document-save");
  actSaveAs = add(
      fileMenu_, "Save As...", {}, "Save file ass other name", [this] { SaveAs(); },
      "document-save-as");
  fileMenu_->addSeparator();
  add(
      fileMenu_, "Properties", {}, "Information about automation", [this] { Properties(); },
      "document-properties");
  auto extras = [this](const std::string& command) {
    return [this, command] {
      if (services_) services_->Extras(*this, command);
    };
  };
  actCompare = add(fileMenu_, "Compare settings...", {},
                   "Compare settings|Both parsets, or a parset of another registration or file",
                   extras("compare"));
  QMenu* exportMenu = fileMenu_->addMenu("Export");
  actExportComtrade =
      add(exportMenu, "COMTRADE...", {}, "Export the selected sequence as COMTRADE files",
          extras("export-comtrade"));
  actExportCsv = add(exportMenu, "CSV...", {}, "Export the events of the selected sequence as CSV",
                     extras("export-csv"));
  actReport =
      add(fileMenu_, "Service report...", {},
          "Service report|Identification, both parsets and the selected sequences in one PDF",
          extras("report"));
  fileMenu_->addSeparator();
  actPrint = add(
      fileMenu_, "Print", QKeySequence("Ctrl+P"), "Print registered courses",
      [this] { Print(true); }, "document-print");
  actPrintPreview = add(
      fileMenu_, "Print preview", {}, "Change the printer options",
      [this] {
        if (services_) services_->PrintSetup(*this);
      },
      "document-print-preview");
  fileMenu_->addSeparator();
  QAction* closeProgram = add(
      fileMenu_, "Close", {}, "Close programme", [this] { host_->CloseProgram(); },
      "application-exit");
  closeProgram->setEnabled(false);

  graphMenu_ = new QMenu("&Graph", this);
  add(
      graphMenu_, "Select All", {}, {}, [this] { Graph->SelectAll(); }, "edit-select-all");
  add(
      graphMenu_, "Copy", {}, {}, [this] { Graph->CopyToClipboard(); }, "edit-copy");
  add(graphMenu_, "Deselect All", {}, {}, [this] { Graph->DeselectAll(); });
  add(graphMenu_, "Changes between cursors", {}, {},
      [this] { Graph->ShowChangesBetweenCursors(); });
  add(graphMenu_, "Zoom to cursors", {}, {}, [this] { Graph->ZoomToCursors(); });
  // The same menu on a right click into the graph.
  Graph->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Graph, &QWidget::customContextMenuRequested, graphMenu_,
          [this](const QPoint& p) { graphMenu_->popup(Graph->mapToGlobal(p)); });
  graphMenu_->addSeparator();
  add(graphMenu_, "Options", {}, {}, [this] { Graph->ShowOptions(); });

  editMenu_ = new QMenu("&Edit", this);
  actUndo = add(
      editMenu_, "&Undo", QKeySequence("Ctrl+Z"), "Undo the last edit of the settings",
      [this] { Undo(); }, "edit-undo");
  actRedo = add(
      editMenu_, "&Redo", QKeySequence("Ctrl+Shift+Z"), "Redo the edit of the settings undone last",
      [this] { Redo(); }, "edit-redo");
  SetDocumentActionsEnabled(true);
}

void TChildForm::UpdateUndoActions() {
  const QString undo = undoStack_->undoText();
  const QString redo = undoStack_->redoText();
  actUndo->setText(undo.isEmpty() ? QString("&Undo") : "&Undo " + undo);
  actRedo->setText(redo.isEmpty() ? QString("&Redo") : "&Redo " + redo);
  actUndo->setEnabled(documentActionsEnabled_ && undoStack_->canUndo());
  actRedo->setEnabled(documentActionsEnabled_ && undoStack_->canRedo());
}

void TChildForm::Undo() {
  // The parset may be going to the device right now.
  if (Kiv.IsReading || Printing) return;
  undoStack_->undo();
}

void TChildForm::Redo() {
  if (Kiv.IsReading || Printing) return;
  undoStack_->redo();
}

void TChildForm::ResetUndo() {
  resettingUndo_ = true;
  undoStack_->clear();
  resettingUndo_ = false;
  RefreshModifiedMark();
}

void TChildForm::TrackOutsideChange(const std::function<void()>& fn) {
  const bool was = Kiv.Modified;
  // The mark stays on meanwhile: a reading shows the title while it runs.
  heldModified_ = was;
  Kiv.Modified = false;
  Guarded(fn);
  if (Kiv.Modified) changedOutsideGrid_ = true;
  Kiv.Modified = Kiv.Modified || was;
  heldModified_ = false;
  RefreshModifiedMark();
}

void TChildForm::RefreshModifiedMark() {
  const QString title = Kiv.Modified || heldModified_ ? caption_ + "*" : caption_;
  if (windowTitle() != title) {
    markingTitle_ = true;
    setWindowTitle(title);
    markingTitle_ = false;
  }
  Notebook1->setTabText(static_cast<int>(TChildPage::Settings),
                        undoStack_->isClean() ? "Settings" : "Settings*");
}

void TChildForm::SetDocumentActionsEnabled(bool enabled) {
  documentActionsEnabled_ = enabled;
  actSave->setEnabled(enabled);
  actSaveAs->setEnabled(enabled);
  actPrint->setEnabled(enabled && services_ != nullptr);
  actPrintPreview->setEnabled(services_ != nullptr);
  for (QAction* a : {actCompare, actExportComtrade, actExportCsv, actReport})
    a->setEnabled(enabled && services_ != nullptr);
  UpdateUndoActions();
}

void TChildForm::Guarded(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
  } catch (...) {
    Messages().Show(MsgIcon::Error, "Error", "Unknown error");
  }
}

// ---------------------------------------------------------------------------
// Files

void TChildForm::SetFileName(const std::string& name) {
  FileName = name;
  std::string caption = name;
  if (size_t dot = caption.find('.'); dot != std::string::npos) caption.resize(dot);
  setWindowTitle(Q(caption));
}

bool TChildForm::OpenFile(const std::string& name) {
  FileName = name;
  // Definitions are looked up where every other window looks them up.
  Kiv.DefsDir = host_->InstallDir();
  if (!Kiv.LoadFromFile(name)) return false;
  DeviceParsets.RememberRead(Kiv);
  ShowLoadedRegistration(name);
  Named = true;
  RememberDiskState();
  return true;
}

std::string TChildForm::SaveFileName() const {
  if (QFileInfo(Q(FileName)).suffix().isEmpty() && !Q(FileName).endsWith('.')) {
    return FileName + ".kiv";
  }
  return FileName;
}

void TChildForm::RememberDiskState() {
  stampedName_ = SaveFileName();
  diskStamp_ = StampOfFile(stampedName_);
}

bool TChildForm::ChangedOnDiskSinceLoaded() const {
  const std::string name = SaveFileName();
  return name == stampedName_ && ChangedOnDisk(diskStamp_, StampOfFile(name));
}

void TChildForm::Save() {
  if (!Named) {
    SaveAs();
    return;
  }
  if (ChangedOnDiskSinceLoaded()) {
    enum { kOverwrite, kSaveAs, kCancel };
    const int choice = Messages().Choose(
        MsgIcon::Warning, "Warning",
        "File " + SaveFileName() + " changed since you opened it: overwrite / save as",
        {"Overwrite", "Save As", "Cancel"}, kSaveAs, kCancel);
    if (choice == kSaveAs) {
      SaveAs();
      return;
    }
    if (choice != kOverwrite) return;
  }
  WriteRegistrationTo(SaveFileName());
}

void TChildForm::WriteRegistrationTo(const std::string& name) {
  Named = true;
  FileName = name;
  setWindowTitle(Q(FileName));
  try {
    if (Kiv.SaveToFile(FileName)) {
      RememberDiskState();
      changedOutsideGrid_ = false;
      undoStack_->setClean();
    }
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
  }
  RefreshModifiedMark();
}

void TChildForm::SaveAs() {
  for (;;) {
    std::string name = FileName;
    if (!host_->ExecuteSaveDialog(name, false)) return;
    if (!FileExists(name)) {
      Named = true;
      FileName = name;
      Save();
      return;
    }
    MsgAnswer a = Messages().Ask(MsgIcon::Warning, "Warning",
                                 "File :" + name + " file already exists\nReplace existing file?",
                                 MsgButtons::YesNoCancel);
    if (a == MsgAnswer::Yes) {
      // Replacing that file was just agreed to: asking whether it changed would ask twice.
      FileName = name;
      WriteRegistrationTo(SaveFileName());
      return;
    }
    if (a != MsgAnswer::No) return;
  }
}

bool TChildForm::CloseQuery() {
  if (Printing) return false;
  if (Kiv.IsReading) {
    comm_->CancelReading();
    return false;
  }
  if (!Kiv.Modified) return true;
  MsgAnswer a =
      Messages().Ask(MsgIcon::Warning, "Warning",
                     "File " + FileName + " was modified\nSave changes?", MsgButtons::YesNoCancel);
  if (a == MsgAnswer::Yes) {
    Save();
    return !Kiv.Modified;
  }
  return a == MsgAnswer::No;
}

void TChildForm::closeEvent(QCloseEvent* event) {
  bool ok = false;
  Guarded([&] { ok = CloseQuery(); });
  if (ok) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  QFileInfo fa(Q(a)), fb(Q(b));
  if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
  return fa.absoluteFilePath() == fb.absoluteFilePath();
}

std::string RawBufferFileName(const std::string& registration) {
  QString reg = Q(registration);
  QFileInfo info(reg);
  QString base = info.completeBaseName();
  if (base.isEmpty()) base = info.fileName();
  QString name = base + "-events.bin";
  if (reg.contains('/')) name = info.dir().filePath(name);
  return name.toStdString();
}

void TChildForm::SaveBuffer() {
  // The raw buffer is proposed beside the registration under a name of its own: proposing
  // the registration's name let one Enter replace it with the raw bytes.
  std::string name = RawBufferFileName(FileName);
  for (;;) {
    if (!host_->ExecuteSaveDialog(name, true)) return;
    if (SameFile(name, FileName)) {
      Messages().Show(MsgIcon::Warning, "Warning",
                      "File :" + name +
                          " is the file of this registration\nChoose another name for the "
                          "events buffer.");
      continue;
    }
    if (QFileInfo(Q(name)).suffix().compare("kiv", Qt::CaseInsensitive) == 0) {
      Messages().Show(MsgIcon::Warning, "Warning",
                      "File :" + name +
                          "\nA raw events buffer is no registration file: choose a name "
                          "without the \".kiv\" extension.");
      continue;
    }
    if (FileExists(name)) {
      MsgAnswer a = Messages().Ask(MsgIcon::Warning, "Warning",
                                   "File :" + name + " file already exists\nReplace existing file?",
                                   MsgButtons::YesNoCancel);
      if (a == MsgAnswer::No) continue;
      if (a != MsgAnswer::Yes) return;
    }
    Guarded([&] { WriteRawFile(name, Kiv.EventBuffer(), Kiv.EventBufferLength()); });
    return;
  }
}

void TChildForm::Properties() {
  TrackOutsideChange([this] {
    TFileInfoDlg dlg(this);
    dlg.ShowFileInfo(Kiv);
  });
}

void TChildForm::Print(bool withDialog) {
  if (services_) Guarded([&] { services_->Print(*this, withDialog); });
}

// ---------------------------------------------------------------------------
// Pages and side buttons

TChildPage TChildForm::CurrentPage() const {
  return static_cast<TChildPage>(Notebook1->currentIndex());
}

void TChildForm::ShowPage(TChildPage page) {
  Notebook1->setCurrentIndex(static_cast<int>(page));
}

void TChildForm::SetupButtons(TChildPage page) {
  bool service = serviceMode_;
  bool reading = Kiv.IsReading;
  switch (page) {
    case TChildPage::Events:
      Panel2->setVisible(service);
      Notebook1->setProperty("helpContext", 10);
      Btn1->setText("HexList");
      SetHint(Btn1, "Display buffer of events (sort ascendingly)");
      Btn1->setEnabled(service);
      Btn1->setVisible(service);
      Btn2->setText("Save Buf");
      SetHint(Btn2, "Save events buffer to file");
      Btn2->setEnabled(service);
      Btn2->setVisible(service);
      Btn3->setVisible(false);
      break;
    case TChildPage::Settings:
      Panel2->setVisible(false);
      Notebook1->setProperty("helpContext", 134);
      break;
    case TChildPage::WriteRead:
      Panel2->setVisible(true);
      Notebook1->setProperty("helpContext", 6);
      Btn1->setText("Reading");
      SetHint(Btn1, "Read data from automation|Read selected position from automation");
      Btn1->setEnabled(!reading);
      Btn1->setVisible(true);
      Btn2->setText("Execute");
      SetHint(Btn2, "Execute recommendation");
      Btn2->setEnabled(!reading);
      Btn2->setVisible(true);
      Btn3->setText("Cancel");
      SetHint(Btn3, "Break reading");
      Btn3->setEnabled(reading);
      Btn3->setVisible(true);
      break;
  }
}

int TChildForm::HelpContext() const {
  return Notebook1->property("helpContext").toInt();
}

void TChildForm::UpdateState() {
  host_->UpdateControls();
  // While a reading runs the pages and their controls are locked, but the trace stays
  // enabled, so the engineer can scroll back through it meanwhile.
  const bool idle = !Kiv.IsReading;
  Notebook1->tabBar()->setEnabled(idle);
  for (int i = 0; i < Notebook1->count(); ++i) {
    if (i != static_cast<int>(TChildPage::WriteRead)) Notebook1->widget(i)->setEnabled(idle);
  }
  WriteReadTop->setEnabled(idle);
  cmdOutline->setEnabled(idle);
  SetupButtons(CurrentPage());
  RefreshModifiedMark();
}

void TChildForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // Whoever names the window, the mark follows the name.
  if (event->type() == QEvent::WindowTitleChange && !markingTitle_) {
    caption_ = windowTitle();
    RefreshModifiedMark();
  }
}

void TChildForm::ShowLoadedRegistration(const std::string& name) {
  FileName = name;
  setWindowTitle(Q(name));
  OptionsToControls();
  ControlsToOptions();
  if (EventsListBox->count() > 0) EventsListBox->setCurrentRow(0);
  EventsListClick(false);
  ShowParset();
  Kiv.Modified = false;
  changedOutsideGrid_ = false;
  ResetUndo();
}
