#include "childform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "childhost.h"
#include "childservices.h"
#include "fileinfodlg.h"
#include "gridlayout.h"
#include "kivcomm.h"
#include "kivdate.h"
#include "kivfiles.h"
#include "lister.h"
#include "messages.h"
#include "programicons.h"
#include "route.h"
#include "settingcells.h"
#include "settings.h"
#include "uitext.h"
#include "widgetsinks.h"
#include "znsgrid.h"

namespace {

constexpr int kKeyRole = Qt::UserRole + 1;
// Widest a name or value column gets when fitted at opening; dragging goes beyond.
constexpr int kMaxNameColumnWidth = 260;
constexpr int kWriteReadPage = 2;
constexpr int kMaxValueColumnWidth = 160;

}  // namespace

// Opens an editor only on a value cell, and tells the window which cell is edited.
class TZnsDelegate : public QStyledItemDelegate {
 public:
  TZnsDelegate(TChildForm* form) : QStyledItemDelegate(form), form_(form) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    if (!znsgrid::IsValueCell(form_->Kiv.Defs, index.column(), index.row())) return nullptr;
    form_->EditCol = index.column();
    form_->EditRow = index.row();
    return QStyledItemDelegate::createEditor(parent, option, index);
  }

 private:
  TChildForm* form_;
};

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
  Notebook1->setCurrentIndex(1);

  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(Notebook1, 1);
  row->addWidget(Panel2);

  BuildMenus();

  // 1-3: the device object, its trace list, handlers and definitions directory.
  ParsetTab = 0;
  EditRow = EditCol = -1;
  trace_ = std::make_unique<TMemoTrace>(MemoMessage);
  Kiv.SetTraceList(trace_.get());
  comm_ = std::make_unique<TKivComm>(Kiv, host_->CommSettings());
  Kiv.OnBeginRead = [this] { UpdateState(); };
  Kiv.OnCompleteAll = [this] { UpdateState(); };
  Kiv.OnCompleteZestawNastaw1 = [this] {
    DeviceParsets.Remember(Kiv, 1);
    ShowParset();
  };
  Kiv.OnCompleteZestawNastaw2 = [this] {
    DeviceParsets.Remember(Kiv, 2);
    ShowParset();
  };
  Kiv.OnEvRegCompleted = [this] { EventsRead(); };
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
  ViewMode = 0;
  Named = false;
  Panel3->installEventFilter(this);
  LayoutEventsPage();

  SetupButtons(Notebook1->currentIndex());
  ShowParset();
  BuildCommandTree();

  connect(Notebook1, &QTabWidget::currentChanged, this, [this](int page) { SetupButtons(page); });
  for (QCheckBox* c :
       {chbZestaw1, chbZestaw2, chbEventRegister, chbcorrectIOtimes, ChBshowallEvents}) {
    connect(c, &QCheckBox::clicked, this, [this] { Guarded([this] { ControlsToOptions(); }); });
  }
  connect(SpinSlaveNo, &QSpinBox::valueChanged, this, [this] {
    if (!SpinSlaveNo->text().isEmpty()) Guarded([this] { ControlsToOptions(); });
  });
  connect(SpinSlaveNo, &QSpinBox::editingFinished, this,
          [this] { Guarded([this] { ControlsToOptions(); }); });
  connect(ChbTraceMessages, &QCheckBox::clicked, this, [this](bool on) { Kiv.TraceMessages = on; });
  connect(Btn1, &QPushButton::clicked, this, [this] {
    int page = Notebook1->currentIndex();
    if (page == 2) {
      StartReading();
    } else if (page == 0) {
      Guarded([this] { lister_->ShowHexBuffer(); });
    }
  });
  connect(Btn2, &QPushButton::clicked, this, [this] {
    int page = Notebook1->currentIndex();
    if (page == 2) {
      ExecuteCommand();
    } else if (page == 0) {
      SaveBuffer();
    }
  });
  connect(Btn3, &QPushButton::clicked, this, [this] {
    if (Notebook1->currentIndex() == 2) StopReading();
  });

  Kiv.Modified = false;
}

TChildForm::~TChildForm() {
  Kiv.SetTraceList(nullptr);
  Kiv.OnBeginRead = nullptr;
  Kiv.OnCompleteAll = nullptr;
  Kiv.OnCompleteZestawNastaw1 = nullptr;
  Kiv.OnCompleteZestawNastaw2 = nullptr;
  Kiv.OnEvRegCompleted = nullptr;
  cmdOutline->clear();
}

void TChildForm::BuildEventsPage() {
  auto* page = new QWidget;
  Panel3 = new QWidget(page);
  Panel3->setObjectName("Panel3");
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(0, 0, 0, 0);
  box->addWidget(Panel3);
  EventsListBox = new QListWidget(Panel3);
  EventsListBox->setObjectName("EventsListBox");
  EventsListBox->addItem("Not read");
  // Click, Ctrl+click and Shift+click, and the arrows with Shift, pick sequences for
  // printing; the sequence under the cursor is the one shown.
  EventsListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
  FMemo = new QTextEdit(Panel3);
  FMemo->setObjectName("FMemo");
  FMemo->setReadOnly(true);
  FMemo->setLineWrapMode(QTextEdit::NoWrap);
  FMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Graph->setParent(Panel3);
  Graph->setObjectName("Graph");
  connect(EventsListBox, &QListWidget::itemClicked, this,
          [this] { Guarded([this] { EventsListClick(true); }); });
  // The listing and the graph follow the current sequence however it moves: arrows,
  // Home/End, Page keys, or the mouse. Enter does what a click does.
  connect(EventsListBox, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) Guarded([this] { ShowCurrentSequence(); });
  });
  connect(EventsListBox, &QListWidget::itemActivated, this,
          [this] { Guarded([this] { EventsListClick(true); }); });
  Notebook1->addTab(page, "Events buffer");
}

void TChildForm::BuildSettingsPage() {
  auto* page = new QWidget;
  ZnsGrid = new TZnsGridTable(znsgrid::kInitialRows, znsgrid::kInitialCols, page);
  ZnsGrid->setObjectName("ZnsGrid");
  ZnsGrid->horizontalHeader()->hide();
  ZnsGrid->verticalHeader()->hide();
  ZnsGrid->horizontalHeader()->setDefaultSectionSize(znsgrid::kDefaultColWidth);
  ZnsGrid->verticalHeader()->setDefaultSectionSize(znsgrid::kDefaultRowHeight);
  ZnsGrid->verticalHeader()->setMinimumSectionSize(znsgrid::kDefaultRowHeight);
  ZnsGrid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  QFont f("Arial");
  f.setPixelSize(11);
  ZnsGrid->setFont(f);
  ZnsGrid->setSelectionMode(QAbstractItemView::ContiguousSelection);
  ZnsGrid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                           QAbstractItemView::AnyKeyPressed);
  ZnsGrid->setItemDelegate(new TZnsDelegate(this));
  connect(ZnsGrid, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (!fillingGrid_) GridEditEnded(item->column(), item->row());
  });
  connect(ZnsGrid, &QTableWidget::currentCellChanged, this, [this](int, int, int, int) {
    // Moving to another cell ends an open edit: Qt commits the editor, which reports the
    // change through itemChanged; nothing is left open here.
  });

  TabSet1 = new QTabBar(page);
  TabSet1->setObjectName("TabSet1");
  TabSet1->addTab("Settings - parset  1");
  TabSet1->addTab("Settings - parset  2");
  TabSet1->setShape(QTabBar::RoundedSouth);
  connect(TabSet1, &QTabBar::currentChanged, this, [this](int index) {
    ParsetTab = index;
    Guarded([this] { ShowParset(); });
  });
  auto* box = new QVBoxLayout(page);
  box->setContentsMargins(0, 0, 0, 0);
  box->setSpacing(0);
  box->addWidget(ZnsGrid, 1);
  box->addWidget(TabSet1);
  Notebook1->addTab(page, "Settings");
}

void TChildForm::BuildWriteReadPage() {
  auto* page = new QWidget;
  auto* top = new QGridLayout;
  SpinSlaveNo = new QSpinBox(page);
  SpinSlaveNo->setObjectName("SpinSlaveNo");
  SpinSlaveNo->setRange(0, 247);
  SpinSlaveNo->setValue(1);
  chbcorrectIOtimes = new QCheckBox("Correct time of start device", page);
  chbcorrectIOtimes->setChecked(true);
  ChBshowallEvents = new QCheckBox("Show all events", page);
  ChbTraceMessages = new QCheckBox("Follow data from RS", page);
  ChbTraceMessages->setVisible(false);
  chbZestaw1 = new QCheckBox("Settings - parset 1", page);
  chbZestaw2 = new QCheckBox("Settings - parset 2", page);
  chbEventRegister = new QCheckBox("Events register", page);
  for (QCheckBox* c : {chbZestaw1, chbZestaw2, chbEventRegister}) c->setChecked(true);
  lbZns1LoadTime = new QLabel("???", page);
  lbZns2LoadTime = new QLabel("???", page);
  lbBufLoadTime = new QLabel("???", page);
  top->addWidget(new QLabel("Device number", page), 0, 0);
  top->addWidget(SpinSlaveNo, 0, 1);
  top->addWidget(chbcorrectIOtimes, 1, 0, 1, 2);
  top->addWidget(ChBshowallEvents, 2, 0, 1, 2);
  top->addWidget(ChbTraceMessages, 3, 0, 1, 2);
  top->addWidget(new QLabel("Reading:", page), 0, 2);
  top->addWidget(new QLabel("Date of reading by PC", page), 0, 3);
  top->addWidget(chbZestaw1, 1, 2);
  top->addWidget(lbZns1LoadTime, 1, 3);
  top->addWidget(chbZestaw2, 2, 2);
  top->addWidget(lbZns2LoadTime, 2, 3);
  top->addWidget(chbEventRegister, 3, 2);
  top->addWidget(lbBufLoadTime, 3, 3);
  top->setColumnStretch(4, 1);

  cmdOutline = new QTreeWidget(page);
  cmdOutline->setObjectName("cmdOutline");
  cmdOutline->setHeaderHidden(true);
  connect(cmdOutline, &QTreeWidget::itemDoubleClicked, this, [this] { ExecuteCommand(); });

  MemoMessage = new QPlainTextEdit(page);
  MemoMessage->setObjectName("MemoMessage");
  MemoMessage->setReadOnly(true);
  MemoMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

  // The trace is what the engineer reads during and after a reading (": OK", "Verified",
  // the hex frames): it gets most of the height; the splitter gives the tree more at will.
  TraceSplitter = new QSplitter(Qt::Vertical, page);
  TraceSplitter->setObjectName("TraceSplitter");
  TraceSplitter->addWidget(cmdOutline);
  TraceSplitter->addWidget(MemoMessage);
  TraceSplitter->setStretchFactor(0, 1);
  TraceSplitter->setStretchFactor(1, 3);
  TraceSplitter->setSizes({100, 300});
  TraceSplitter->setChildrenCollapsible(false);

  WriteReadTop = new QWidget(page);
  WriteReadTop->setLayout(top);
  top->setContentsMargins(0, 0, 0, 0);
  auto* box = new QVBoxLayout(page);
  box->addWidget(WriteReadTop);
  box->addWidget(TraceSplitter, 1);
  Notebook1->addTab(page, "Write/Read");
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
  graphMenu_->addSeparator();
  add(graphMenu_, "Options", {}, {}, [this] { Graph->ShowOptions(); });
  SetDocumentActionsEnabled(true);
}

void TChildForm::SetDocumentActionsEnabled(bool enabled) {
  documentActionsEnabled_ = enabled;
  actSave->setEnabled(enabled);
  actSaveAs->setEnabled(enabled);
  actPrint->setEnabled(enabled && services_ != nullptr);
  actPrintPreview->setEnabled(services_ != nullptr);
  for (QAction* a : {actCompare, actExportComtrade, actExportCsv, actReport})
    a->setEnabled(enabled && services_ != nullptr);
}

void TChildForm::BuildCommandTree() {
  auto* root = new QTreeWidgetItem(cmdOutline, QStringList{"Save parset"});
  const char* items[][2] = {{"Save settings - parset 1", "ZNS1_1"},
                            {"Save settings - parset 2", "ZNS2_2"},
                            {"Save settings - parset 1 to 2", "ZNS1_2"},
                            {"Save settings - parset 2 to 1", "ZNS2_1"}};
  for (auto& it : items) {
    auto* child = new QTreeWidgetItem(root, QStringList{it[0]});
    child->setData(0, kKeyRole, QString(it[1]));
  }
  cmdOutline->expandAll();
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
// Read options

void TChildForm::OptionsToControls() {
  TReadOptions o = Kiv.GetReadOptions();
  if (!serviceMode_) {
    o.CorrectIOTimes = 1;
    o.ShowAllEvents = 0;
    Kiv.SetReadOptions(o);
    chbcorrectIOtimes->setVisible(false);
    ChBshowallEvents->setVisible(false);
  } else {
    chbcorrectIOtimes->setVisible(true);
    ChBshowallEvents->setVisible(true);
  }
  loadingOptions_ = true;
  SpinSlaveNo->setValue(o.SlaveNo);
  chbZestaw1->setChecked(o.ReadZestaw1 != 0);
  chbZestaw2->setChecked(o.ReadZestaw2 != 0);
  chbEventRegister->setChecked(o.ReadEventRegister != 0);
  chbcorrectIOtimes->setChecked(o.CorrectIOTimes != 0);
  ChBshowallEvents->setChecked(o.ShowAllEvents != 0);
  loadingOptions_ = false;
}

void TChildForm::ControlsToOptions() {
  if (loadingOptions_) return;
  TReadOptions o;
  o.SlaveNo = static_cast<uint8_t>(SpinSlaveNo->value());
  o.ReadZestaw1 = chbZestaw1->isChecked() ? 1 : 0;
  o.ReadZestaw2 = chbZestaw2->isChecked() ? 1 : 0;
  o.ReadEventRegister = chbEventRegister->isChecked() ? 1 : 0;
  o.CorrectIOTimes = chbcorrectIOtimes->isChecked() ? 1 : 0;
  o.ShowAllEvents = ChBshowallEvents->isChecked() ? 1 : 0;
  bool correctionChanged = Kiv.GetReadOptions().CorrectIOTimes != o.CorrectIOTimes;
  Kiv.SetReadOptions(o);
  if (correctionChanged) RedecodeEvents();
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
  setWindowTitle(Q(name));
  OptionsToControls();
  ControlsToOptions();
  if (EventsListBox->count() > 0) EventsListBox->setCurrentRow(0);
  EventsListClick(false);
  ShowParset();
  Named = true;
  Kiv.Modified = false;
  return true;
}

void TChildForm::Save() {
  if (!Named) {
    SaveAs();
    return;
  }
  if (QFileInfo(Q(FileName)).suffix().isEmpty() && !Q(FileName).endsWith('.')) {
    FileName += ".kiv";
  }
  setWindowTitle(Q(FileName));
  try {
    Kiv.SaveToFile(FileName);
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
  }
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
      Named = true;
      FileName = name;
      Save();
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

namespace {

// Whether two names denote the same file (through links and relative paths).
bool SameFile(const std::string& a, const std::string& b) {
  QFileInfo fa(Q(a)), fb(Q(b));
  if (fa.exists() && fb.exists()) return fa.canonicalFilePath() == fb.canonicalFilePath();
  return fa.absoluteFilePath() == fb.absoluteFilePath();
}

}  // namespace

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
  TFileInfoDlg dlg(this);
  dlg.ShowFileInfo(Kiv);
}

void TChildForm::Print(bool withDialog) {
  if (services_) Guarded([&] { services_->Print(*this, withDialog); });
}

// ---------------------------------------------------------------------------
// Events page

void TChildForm::SetView(int mode) {
  if (mode < 0 || mode > 3) return;
  ViewMode = mode;
  LayoutEventsPage();
  EventsListClick(false);
}

void TChildForm::LayoutEventsPage() {
  int w = Panel3->width();
  int h = Panel3->height();
  int quarter = h / 4;
  EventsListBox->setVisible(ViewMode == 0 || ViewMode == 1);
  FMemo->setVisible(ViewMode == 0 || ViewMode == 3);
  Graph->setVisible(ViewMode == 0 || ViewMode == 2);
  switch (ViewMode) {
    case 0:
      EventsListBox->setGeometry(0, 0, w, quarter);
      FMemo->setGeometry(0, quarter, w, quarter);
      Graph->setGeometry(0, 2 * quarter, w, h - 2 * quarter);
      break;
    case 1:
      EventsListBox->setGeometry(0, 0, w, h);
      break;
    case 2:
      Graph->setGeometry(0, 0, w, h);
      break;
    case 3:
      FMemo->setGeometry(0, 0, w, h);
      break;
  }
}

bool TChildForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel3 && event->type() == QEvent::Resize) {
    LayoutEventsPage();
  }
  return QWidget::eventFilter(watched, event);
}

int TChildForm::CurrentSequenceRow() const {
  int row = EventsListBox->currentRow();
  if (row < 0 && !EventsListBox->selectedItems().isEmpty()) {
    row = EventsListBox->row(EventsListBox->selectedItems().first());
  }
  return row;
}

void TChildForm::ShowCurrentSequence() {
  Graph->DeselectAll();
  lister_->SelectSequence(static_cast<uint16_t>(CurrentSequenceRow() + 1));
}

void TChildForm::EventsListClick(bool fromList) {
  // A click has moved the current sequence already, which showed it.
  if (!fromList || lister_->SelectedSequence() != CurrentSequenceRow() + 1) {
    ShowCurrentSequence();
  }
  if (fromList) {
    if (ViewMode == 1) SetView(3);
    if (EventsListBox->isVisible()) EventsListBox->setFocus();
  }
}

void TChildForm::RedecodeEvents() {
  lister_->Refresh(this);
}

void TChildForm::EventsRead() {
  if (Kiv.EventsReadDate() != 0) lbBufLoadTime->setText(Q(DateTimeToStr(Kiv.EventsReadDate())));
  RedecodeEvents();
  if (EventsListBox->count() > 0 && EventsListBox->selectedItems().isEmpty()) {
    EventsListBox->setCurrentRow(0);
    EventsListClick(false);
  }
}

void TChildForm::ShowLegend() {
  lister_->ShowLegend();
}

// ---------------------------------------------------------------------------
// Pages, side buttons and reading

void TChildForm::SetupButtons(int page) {
  bool service = serviceMode_;
  bool reading = Kiv.IsReading;
  switch (page) {
    case 0:
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
    case 1:
      Panel2->setVisible(false);
      Notebook1->setProperty("helpContext", 134);
      break;
    default:
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
    if (i != kWriteReadPage) Notebook1->widget(i)->setEnabled(idle);
  }
  WriteReadTop->setEnabled(idle);
  cmdOutline->setEnabled(idle);
  SetupButtons(Notebook1->currentIndex());
}

void TChildForm::StartReading() {
  if (!Kiv.IsReading) {
    try {
      comm_->ReadAll();
    } catch (const std::exception& e) {
      trace_->Append(std::string("Exception in ReadFromKIV: ") + e.what());
    } catch (...) {
      trace_->Append("Exception in ReadFromKIV: ");
    }
  }
  UpdateState();
}

void TChildForm::StopReading() {
  comm_->CancelReading();
  UpdateState();
}

void TChildForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
}

// ---------------------------------------------------------------------------
// Settings grid

void TChildForm::SetCell(int r, int c, const std::string& text) {
  QTableWidgetItem* item = ZnsGrid->item(r, c);
  if (!item) {
    item = new QTableWidgetItem;
    ZnsGrid->setItem(r, c, item);
  }
  bool fixed = r < znsgrid::kFixedRows || c < znsgrid::kFixedCols;
  // The fixed row and column are headings, never part of a selection.
  Qt::ItemFlags flags = fixed ? Qt::ItemIsEnabled : Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (znsgrid::IsValueCell(Kiv.Defs, c, r)) flags |= Qt::ItemIsEditable;
  item->setFlags(flags);
  if (fixed) item->setBackground(palette().button());
  item->setText(Q(text));
}

void TChildForm::ShowParsetDates() {
  if (Kiv.Zestaw1ReadDate() != 0) lbZns1LoadTime->setText(Q(DateTimeToStr(Kiv.Zestaw1ReadDate())));
  if (Kiv.Zestaw2ReadDate() != 0) lbZns2LoadTime->setText(Q(DateTimeToStr(Kiv.Zestaw2ReadDate())));
}

void TChildForm::ShowParset() {
  if (Kiv.GetKivType() == kivtUnknown) return;
  const uint8_t* parset = ParsetTab == 0 ? Kiv.Zestaw1() : Kiv.Zestaw2();
  int length = ParsetTab == 0 ? Kiv.Zestaw1Length() : Kiv.Zestaw2Length();
  ShowParsetDates();
  fillingGrid_ = true;
  const TKivDefs& defs = Kiv.Defs;
  const bool fitColumns = gridFittedFor_ != defs.FileName;
  int sections = defs.SectionCount();
  if (sections + 1 > ZnsGrid->rowCount()) ZnsGrid->setRowCount(sections + 1);
  for (int r = 1; r <= sections; ++r) {
    SetCell(r, 0, defs.SectionTitle(r));
    int n = znsgrid::SettingCount(defs, r);
    const TSets* sets = defs.SectionSets(r);
    for (int j = 1; j <= n; ++j) {
      int nameCol = znsgrid::NameColumn(j);
      if (ZnsGrid->columnCount() + znsgrid::kFixedCols < nameCol + 2) {
        ZnsGrid->setColumnCount(nameCol + 2 + znsgrid::kFixedCols);
      }
      TSetDesc desc = sets->GetSetting(j);
      const std::string value = SettingToText(desc, parset, length);
      SetCell(r, nameCol, SettingNameCell(desc));
      SetCell(r, nameCol + 1, value);
      // The whole name, the value and what may be typed, wherever the column cuts them.
      const QString tip = Q(SettingTooltip(desc, value));
      ZnsGrid->item(r, nameCol)->setToolTip(tip);
      ZnsGrid->item(r, nameCol + 1)->setToolTip(tip);
      // Column widths are set when the grid is fitted (below), not at every filling:
      // afterwards they are the user's.
    }
    int from = n > 0 ? znsgrid::SpacerColumn(n) + 1 : znsgrid::kFixedCols;
    int last = ZnsGrid->columnCount() - 1;
    for (int c = std::min(from, last); c <= last; ++c) SetCell(r, c, "");
  }
  SetCell(0, 0, DefinitionCell(defs));
  if (fitColumns) FitGridColumns();
  fillingGrid_ = false;
}

void TChildForm::FitGridColumns() {
  // At opening (and when other definitions come) names and values get the width they
  // need, within limits; afterwards the widths are the user's.
  gridFittedFor_ = Kiv.Defs.FileName;
  auto* grid = static_cast<TZnsGridTable*>(ZnsGrid);
  int maxSettings = 0;
  for (int r = 1; r <= Kiv.Defs.SectionCount(); ++r)
    maxSettings = std::max(maxSettings, znsgrid::SettingCount(Kiv.Defs, r));
  for (int j = 1; j <= maxSettings; ++j) {
    const int nameCol = znsgrid::NameColumn(j);
    grid->FitColumn(nameCol, znsgrid::kDefaultColWidth, kMaxNameColumnWidth);
    grid->FitColumn(nameCol + 1, znsgrid::kDefaultColWidth / 2, kMaxValueColumnWidth);
    if (nameCol + 2 < ZnsGrid->columnCount())
      ZnsGrid->setColumnWidth(nameCol + 2, znsgrid::kDefaultColWidth / 3);
  }
}

void TChildForm::GridEditEnded(int c, int r) {
  Kiv.Modified = true;
  try {
    CommitCell(c, r);
  } catch (...) {
    ShowParset();
  }
}

void TChildForm::CommitCell(int c, int r) {
  uint8_t* parset = Kiv.Zestaw(ParsetTab + 1);
  if (ParsetTab < 0 || ParsetTab > 1 || !parset) return;
  int j = znsgrid::SettingOfColumn(c);
  if (j == 0) return;
  const TSets* sets = Kiv.Defs.SectionSets(r);
  if (!sets || j > sets->Count()) return;
  TSetDesc desc = sets->GetSetting(j);
  int length = Kiv.ZestawLength(ParsetTab + 1);
  QTableWidgetItem* item = ZnsGrid->item(r, c);
  std::string typed = item ? item->text().toStdString() : std::string();
  fillingGrid_ = true;
  std::string refused;
  try {
    uint16_t code = 0;
    // A voltage outside what the device keeps is not stored; say so rather than let the
    // old value come back without a word.
    if (desc.Kind == skVoltage && !typed.empty() && !VoltageTextToCode(typed, code)) {
      refused = "'" + typed + "' is out of range.\n" + SettingAllowableValues(desc);
    }
    TextToSetting(desc, typed, length, parset);
    std::string shown = SettingToText(desc, parset, length);
    SetCell(r, c, shown);
    if (shown != typed) Kiv.Modified = true;
    EditCol = EditRow = -1;
  } catch (const std::exception& e) {
    // Text that is not a number: the stored value comes back, and the person who typed it
    // learns why.
    SetCell(r, c, SettingToText(desc, parset, length));
    refused = e.what();
  }
  fillingGrid_ = false;
  if (!refused.empty()) {
    Messages().Show(MsgIcon::Warning, "Warning", refused);
  }
}

// ---------------------------------------------------------------------------
// Command tree

void TChildForm::ExecuteCommand() {
  QTreeWidgetItem* item = cmdOutline->currentItem();
  if (!item) return;
  QString key = item->data(0, kKeyRole).toString();
  if (key.isEmpty()) return;
  RunParsetCommand(key.toStdString());
}

void TChildForm::RunParsetCommand(const std::string& key) {
  if (Kiv.IsReading) return;
  QTreeWidgetItem* item = cmdOutline->currentItem();
  std::string text = item ? item->text(0).toStdString() : key;
  const bool isWrite = key.size() == 6 && key.rfind("ZNS", 0) == 0 && key[4] == '_';
  const int source = isWrite ? key[3] - '0' : 0;
  const int target = isWrite ? key[5] - '0' : 0;
  // What the write changes on the device, when the device's parset is known.
  const std::vector<std::string> changes = WriteChangeLines(Kiv, source, target, DeviceParsets);
  if (!changes.empty()) {
    text += "\n\nChanges on the device:";
    for (const std::string& c : changes) text += "\n" + c;
  }
  if (Messages().Ask(MsgIcon::Warning, "Confirm realization of recommendation", text,
                     MsgButtons::YesNo) != MsgAnswer::Yes) {
    return;
  }
  if (!isWrite) return;
  if (source < 1 || source > 2 || target < 1 || target > 2) return;
  try {
    // After ": OK" the parset is read back: "Verified" or the differing settings.
    std::vector<uint8_t> back;
    const TWriteCheck check = WriteZestawVerified(*comm_, Kiv, source, target, &back);
    if (check == TWriteCheck::Verified || check == TWriteCheck::Differs) {
      DeviceParsets.Remember(target, back.data(), static_cast<int>(back.size()));
    } else if (check == TWriteCheck::NotRead) {
      DeviceParsets.Forget(target);
    }
  } catch (const std::exception& e) {
    trace_->Append(e.what());
  }
  UpdateState();
}
