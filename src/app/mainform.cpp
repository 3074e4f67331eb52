#include "mainform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <cstdio>

#include "archiveui.h"  // events archive
#include "childform.h"
#include "commdlg.h"
#include "helpwindow.h"
#include "kivfiles.h"
#include "mbtcpclient.h"
#include "messages.h"
#include "programicons.h"
#include "qtwaiter.h"
#include "rsdhan.h"
#include "uitext.h"

namespace {

bool Exists(const std::string& name) {
  return QFileInfo::exists(Q(name));
}

// Our logo, drawn at the bottom left of the empty frame.
void PaintLogo(QPainter& p, int x, int y) {
  p.setRenderHint(QPainter::Antialiasing);
  QRect r(x, y, 120, 44);
  p.setPen(QPen(QColor(40, 60, 110), 2));
  p.setBrush(QColor(235, 238, 245));
  p.drawRoundedRect(r, 8, 8);
  p.setBrush(QColor(40, 60, 110));
  p.setPen(Qt::NoPen);
  // Two switch poles and a bar: a transfer switch.
  p.drawEllipse(QPoint(x + 16, y + 30), 4, 4);
  p.drawEllipse(QPoint(x + 36, y + 30), 4, 4);
  p.setPen(QPen(QColor(200, 60, 40), 3));
  p.drawLine(x + 16, y + 30, x + 34, y + 14);
  p.setPen(QColor(40, 60, 110));
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(20);
  p.setFont(f);
  p.drawText(QRect(x + 44, y, 76, 44), Qt::AlignVCenter | Qt::AlignLeft, "KIV");
}

class TLogoMdiArea : public QMdiArea {
 public:
  using QMdiArea::QMdiArea;

 protected:
  void paintEvent(QPaintEvent* event) override {
    QMdiArea::paintEvent(event);
    QPainter p(viewport());
    PaintLogo(p, 10, viewport()->height() - 44 - 10);
  }
  void scrollContentsBy(int dx, int dy) override {
    QMdiArea::scrollContentsBy(dx, dy);
    viewport()->update();
  }
  void resizeEvent(QResizeEvent* event) override {
    QMdiArea::resizeEvent(event);
    viewport()->update();
  }
};

}  // namespace

std::string ConfigFilePath() {
  QByteArray env = qgetenv("KIVSVC_CONFIG");
  if (!env.isEmpty()) return env.toStdString();
  QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  return (dir + "/kiv.ini").toStdString();
}

TMainForm::TMainForm(const QStringList& arguments, IChildServices* services, QWidget* parent)
    : QMainWindow(parent), arguments_(arguments), services_(services) {
  setWindowTitle("KIV service");
  setObjectName("MainForm");

  MdiArea = new TLogoMdiArea(this);
  MdiArea->setBackground(QColor(160, 160, 160));
  setCentralWidget(MdiArea);
  // The long hint panel takes the width the second panel leaves, so long hints stay whole.
  StatusPanel0 = new QLabel(this);
  StatusPanel0->setMinimumWidth(200);
  StatusPanel1 = new QLabel(this);
  StatusPanel1->setFixedWidth(50);
  statusBar()->addWidget(StatusPanel0, 1);
  statusBar()->addWidget(StatusPanel1);
  BuildToolbar();
  BuildMenus();

  ConfigSection = ConfigSectionName(QCoreApplication::applicationFilePath().toStdString());
  SerialPort = new TRsdHan(this);
  tcp_ = std::make_unique<TMBTCPClient>(this);
  waiter_ = std::make_unique<TQtWaiter>();
  comm_.SerialPort = SerialPort;
  comm_.TcpLink = tcp_.get();
  comm_.Waiter = waiter_.get();
  ReadConfig();
  // Events archive: the option lives in the Options menu, the window in the Window menu.
  archiveUi_ = new TArchiveUi(this, ConfigFilePath(), ConfigSection,
                              [this] { return CreateChild(NewFileName(), false); });
  archiveUi_->AddOptions(optionsMenu_);

  UpdateControls();
  serviceMode_ = arguments_.contains("service");
  installDir_ = ::InstallDir();

  connect(MdiArea, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* w) {
    auto* child = w ? qobject_cast<TChildForm*>(w->widget()) : nullptr;
    MergeMenus(child);
    if (child) {
      ChildActivated(child);
    } else {
      UpdateControls();
    }
  });

  OpenDialog = [this](std::string& name) {
    QFileInfo info(Q(name));
    QFileDialog dlg(this, "Open", info.path(), "Registration file (*.kiv);;All files (*)");
    dlg.setFileMode(QFileDialog::AnyFile);
    if (!info.fileName().isEmpty()) dlg.selectFile(info.fileName());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    name = dlg.selectedFiles().first().toStdString();
    return true;
  };
  SaveDialog = [this](std::string& name, bool allFiles) {
    QFileInfo info(Q(name));
    QFileDialog dlg(this, "Save As", info.path(), "Registration file (*.kiv);;All files (*)");
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    // A raw file never gets the registration's extension.
    if (!allFiles) dlg.setDefaultSuffix("kiv");
    // The registration window asks about replacing a file itself.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (allFiles) dlg.selectNameFilter("All files (*)");
    if (!info.fileName().isEmpty()) dlg.selectFile(info.fileName());
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
    name = dlg.selectedFiles().first().toStdString();
    return true;
  };
  RunCommDialog = [](TCommDlg& dlg) { return dlg.exec(); };
}

TMainForm::~TMainForm() {
  disconnect(MdiArea, nullptr, this, nullptr);
  // Registration windows go first (last to first), then the configuration is written.
  QList<QMdiSubWindow*> windows = MdiArea->subWindowList(QMdiArea::CreationOrder);
  for (auto it = windows.rbegin(); it != windows.rend(); ++it) delete *it;
  WriteConfig();
  delete help_;
}

void TMainForm::BuildToolbar() {
  QToolBar* bar = addToolBar("Tools");
  bar->setObjectName("Toolbar");
  bar->setMovable(false);
  bar->setIconSize(QSize(22, 22));
  auto add = [&](const QString& icon, const QString& hint, std::function<void()> fn) {
    QAction* a = bar->addAction(ProgramIcon(icon), ShortHint(hint));
    SetHint(a, hint);
    connect(a, &QAction::triggered, this, fn);
    return a;
  };
  btnLoad = add("document-open", "Open|Load file", [this] { OpenCommand(); });
  btnSave = add("document-save", "Save|Save to file",
                [this] { ForActive([](TChildForm& c) { c.Save(); }); });
  btnSaveAs = add("document-save-as", "Save Ass...|Save ass other name",
                  [this] { ForActive([](TChildForm& c) { c.SaveAs(); }); });
  btnPrint =
      add("document-print", "Print", [this] { ForActive([](TChildForm& c) { c.Print(false); }); });
  bar->addSeparator();
  btnNormView = add("kivsvc-view-all", "Show all",
                    [this] { ForActive([](TChildForm& c) { c.SetView(TEventsView::All); }); });
  btnEventsView = add("kivsvc-view-sequences", "List of sequence", [this] {
    ForActive([](TChildForm& c) { c.SetView(TEventsView::Sequences); });
  });
  btnListView = add("kivsvc-view-listing", "Listing",
                    [this] { ForActive([](TChildForm& c) { c.SetView(TEventsView::Listing); }); });
  btnGraphView = add("kivsvc-view-graph", "Graph",
                     [this] { ForActive([](TChildForm& c) { c.SetView(TEventsView::Graph); }); });
  btnGraphLegend =
      add("kivsvc-legend", "Legend", [this] { ForActive([](TChildForm& c) { c.ShowLegend(); }); });
  btnLoad->setObjectName("btnLoad");
  btnSave->setObjectName("btnSave");
  btnSaveAs->setObjectName("btnSaveAs");
  btnPrint->setObjectName("btnPrint");
  btnNormView->setObjectName("btnNormView");
  btnEventsView->setObjectName("btnEventsView");
  btnListView->setObjectName("btnListView");
  btnGraphView->setObjectName("btnGraphView");
  btnGraphLegend->setObjectName("btnGraphLegend");

  cbXScale = new QComboBox(bar);
  cbXScale->setObjectName("cbXScale");
  cbXScale->setEditable(true);
  cbXScale->setInsertPolicy(QComboBox::NoInsert);
  cbXScale->addItems({"Fit", "50", "75", "100", "150", "200", "500", "1000", "2000", "5000"});
  SetHint(cbXScale, "Scale of X asix");
  cbXScale->setMinimumWidth(70);
  cbXScale->setCurrentText("");
  // No inline completion: "1" must stay "1" while the user types 150, not become 100.
  cbXScale->setCompleter(nullptr);
  bar->addWidget(cbXScale);
  // Typing applies nothing; Enter or a choice from the list does.
  connect(cbXScale, &QComboBox::activated, this, [this] { ApplyXScale(true); });
  connect(cbXScale->lineEdit(), &QLineEdit::returnPressed, this, [this] { ApplyXScale(true); });
}

void TMainForm::BuildMenus() {
  FileMenu = menuBar()->addMenu("&File");
  FileMenu->setStatusTip("File operation");
  fileMenuAction_ = FileMenu->menuAction();
  QAction* a = FileMenu->addAction("&New", QKeySequence("Ctrl+N"), this, [this] { NewCommand(); });
  SetHint(a, "New registration");
  a->setIcon(ProgramIcon("document-new"));
  a = FileMenu->addAction("&Open", QKeySequence("Ctrl+O"), this, [this] { OpenCommand(); });
  SetHint(a, "Open registration file");
  a->setIcon(ProgramIcon("document-open"));
  FileMenu->addSeparator();
  a = FileMenu->addAction("Close", this, [this] { close(); });
  SetHint(a, "Finish the programme");
  a->setIcon(ProgramIcon("application-exit"));
  // Ctrl+M opens the File menu, whichever File menu is shown.
  auto* openFileMenu = new QAction(this);
  openFileMenu->setShortcut(QKeySequence("Ctrl+M"));
  connect(openFileMenu, &QAction::triggered, this, [this] {
    QAction* shown = mergedFile_ ? mergedFile_.data() : fileMenuAction_;
    menuBar()->setActiveAction(shown);
  });
  addAction(openFileMenu);

  optionsMenu_ = menuBar()->addMenu("Opt&ions");
  a = optionsMenu_->addAction("Serial port", this, [this] { CommOptions(); });
  SetHint(a, "Serial port configuration");

  QMenu* help = menuBar()->addMenu("Help");
  help->addAction(ProgramIcon("help-contents"), "Help", QKeySequence(Qt::Key_F1), this,
                  [this] { Help(); });
  help->addSeparator();
  help->addAction(ProgramIcon("help-about"), "About", this, [this] { About(); });

  QMenu* window = menuBar()->addMenu("Window");
  connect(window, &QMenu::aboutToShow, this, [this, window] {
    window->clear();
    window->addAction("Tile", MdiArea, &QMdiArea::tileSubWindows);
    if (archiveUi_) archiveUi_->AddWindowItem(window);  // events archive
    QList<QMdiSubWindow*> list = MdiArea->subWindowList();
    if (!list.isEmpty()) window->addSeparator();
    int n = 0;
    for (QMdiSubWindow* w : list) {
      QAction* item = window->addAction(QString("&%1 %2").arg(++n).arg(w->windowTitle()));
      item->setCheckable(true);
      item->setChecked(w == MdiArea->currentSubWindow());
      connect(item, &QAction::triggered, this, [this, w] { MdiArea->setActiveSubWindow(w); });
    }
  });
  window->addAction("Tile", MdiArea, &QMdiArea::tileSubWindows);
}

void TMainForm::MergeMenus(TChildForm* child) {
  if (mergedFile_) menuBar()->removeAction(mergedFile_);
  if (mergedGraph_) menuBar()->removeAction(mergedGraph_);
  if (mergedEdit_) menuBar()->removeAction(mergedEdit_);
  mergedFile_ = mergedGraph_ = mergedEdit_ = nullptr;
  fileMenuAction_->setVisible(child == nullptr);
  if (!child) return;
  mergedFile_ = child->FileMenu()->menuAction();
  mergedEdit_ = child->EditMenu()->menuAction();
  mergedGraph_ = child->GraphMenu()->menuAction();
  menuBar()->insertAction(fileMenuAction_, mergedFile_);
  menuBar()->insertAction(fileMenuAction_, mergedEdit_);
  menuBar()->insertAction(optionsMenu_->menuAction(), mergedGraph_);
}

void TMainForm::ApplyPlacement(const TWindowPlacement& p) {
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect avail = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  QRect r;
  if (p.Width > 0 && p.Height > 0) {
    // A placement from a larger or another screen is brought back onto this one.
    r = QRect(p.Left, p.Top, std::min<int>(p.Width, avail.width()),
              std::min<int>(p.Height, avail.height()));
    if (!avail.intersects(r)) r.moveCenter(avail.center());
  } else {
    // The first start takes most of the screen: the grid, listing and graph need room.
    r = QRect(0, 0, std::max(628, avail.width() * 4 / 5), std::max(425, avail.height() * 4 / 5));
    r.setSize(r.size().boundedTo(avail.size()));
    r.moveCenter(avail.center());
  }
  resize(r.size());
  move(r.topLeft());
  normalGeometry_ = r;
  if (p.Maximized) setWindowState(windowState() | Qt::WindowMaximized);
}

QRect TMainForm::NormalGeometry() const {
  if (windowState() & (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))
    return normalGeometry_;
  return QRect(pos(), size());
}

void TMainForm::RememberNormalGeometry() {
  normalGeometry_ = NormalGeometry();
}

void TMainForm::moveEvent(QMoveEvent* e) {
  QMainWindow::moveEvent(e);
  RememberNormalGeometry();
}

void TMainForm::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  RememberNormalGeometry();
}

void TMainForm::ReadConfig() {
  TIniFile ini(ConfigFilePath());
  ApplyPlacement(ReadWindowPlacement(ini, ConfigSection));
  TAppConfig c = ReadAppConfig(ini, ConfigSection);
  static_cast<TLinkSettings&>(comm_) = c;
  SerialPort->CommPort = c.Port;
  SerialPort->BaudRate = static_cast<TBaudRate>(c.Speed);
  eventsSplit_ = ReadEventsSplit(ini, ConfigSection);
}

void TMainForm::WriteConfig() const {
  std::string path = ConfigFilePath();
  QDir().mkpath(QFileInfo(Q(path)).absolutePath());
  TIniFile ini(path);
  TAppConfig c;
  static_cast<TLinkSettings&>(c) = comm_;
  c.Port = SerialPort->CommPort;
  int speed = static_cast<int>(SerialPort->BaudRate);
  c.Speed = static_cast<uint8_t>(speed >= 0 && speed < kBaudRateCount ? speed : br9600);
  WriteAppConfig(ini, ConfigSection, c);
  TWindowPlacement p;
  // A window not maximised is where it is; a maximised one keeps its last normal place.
  const QRect normal = NormalGeometry();
  p.Left = normal.x();
  p.Top = normal.y();
  p.Width = normal.width();
  p.Height = normal.height();
  p.Maximized = (windowState() & Qt::WindowMaximized) != 0;
  WriteWindowPlacement(ini, ConfigSection, p);
  if (!eventsSplit_.empty()) WriteEventsSplit(ini, ConfigSection, eventsSplit_);
  // Written while the program closes, when no message box can be answered any more: the
  // previous file stays whole, and the reason goes to standard error.
  std::string error;
  if (!ini.UpdateFile(&error)) std::fprintf(stderr, "%s\n", error.c_str());
}

bool TMainForm::event(QEvent* e) {
  // The long part of a hint goes to the first status bar panel.
  if (e->type() == QEvent::StatusTip) {
    StatusPanel0->setText(static_cast<QStatusTipEvent*>(e)->tip());
    return true;
  }
  if (e->type() == QEvent::WindowActivate && !commandLineDone_) {
    QTimer::singleShot(0, this, [this] { ProcessCommandLine(); });
  }
  return QMainWindow::event(e);
}

void TMainForm::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  if (shownOnce_) return;
  shownOnce_ = true;
  // The port opens whatever the TCP switch says; the options dialog shows the result.
  try {
    SerialPort->Open();
  } catch (const std::exception&) {
  }
  // Offscreen and some window managers never activate the window.
  QTimer::singleShot(0, this, [this] { ProcessCommandLine(); });
}

void TMainForm::closeEvent(QCloseEvent* e) {
  for (TChildForm* child : Children()) {
    bool ok = false;
    try {
      ok = child->CloseQuery();
    } catch (const std::exception& ex) {
      Messages().Show(MsgIcon::Error, "Error", ex.what());
    }
    if (!ok) {
      e->ignore();
      return;
    }
  }
  // Every window agreed: none asks again while the frame goes.
  for (TChildForm* child : Children()) child->Kiv.Modified = false;
  if (help_) help_->close();
  e->accept();
}

// ---------------------------------------------------------------------------

TChildForm* TMainForm::ActiveChild() const {
  QMdiSubWindow* w = MdiArea->currentSubWindow();
  return w ? qobject_cast<TChildForm*>(w->widget()) : nullptr;
}

QList<TChildForm*> TMainForm::Children() const {
  QList<TChildForm*> list;
  for (QMdiSubWindow* w : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
    if (auto* c = qobject_cast<TChildForm*>(w->widget())) list << c;
  }
  return list;
}

void TMainForm::ForActive(const std::function<void(TChildForm&)>& fn) {
  TChildForm* child = ActiveChild();
  if (!child) return;
  try {
    fn(*child);
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
  }
}

void TMainForm::UpdateControls() {
  bool enabled = false;
  if (TChildForm* child = ActiveChild()) {
    enabled = !child->Kiv.IsReading;
    child->SetDocumentActionsEnabled(enabled);
  } else {
    applyingScale_ = true;
    cbXScale->setCurrentText("");
    applyingScale_ = false;
  }
  btnPrint->setEnabled(enabled && services_ != nullptr);
  for (QAction* a : {btnSave, btnSaveAs, btnNormView, btnGraphLegend, btnListView, btnGraphView,
                     btnEventsView}) {
    a->setEnabled(enabled);
  }
  cbXScale->setEnabled(enabled);
  btnLoad->setEnabled(true);
}

void TMainForm::ChildActivated(TChildForm* child) {
  UpdateControls();
  ShowXScaleOf(child);
}

void TMainForm::ShowXScaleOf(TChildForm* child) {
  if (!child) return;
  applyingScale_ = true;
  if (child->GraphModel.Autoscale()) {
    cbXScale->setCurrentIndex(0);
    cbXScale->setCurrentText("Fit");
  } else {
    cbXScale->setCurrentText(QString::number(child->GraphModel.ScaleX()));
  }
  applyingScale_ = false;
}

void TMainForm::ApplyXScale(bool enter) {
  if (applyingScale_) return;
  QLineEdit* edit = cbXScale->lineEdit();
  if (enter) edit->selectAll();
  QString text = cbXScale->currentText();
  bool isItem = cbXScale->findText(text, Qt::MatchExactly) >= 0;
  TXScaleAction action = DecideXScale(text.toStdString(), isItem, edit->hasSelectedText());
  if (action.kind == TXScaleAction::Nothing) return;
  TChildForm* child = ActiveChild();
  if (!child) return;
  if (action.kind == TXScaleAction::SetScale) {
    child->GraphModel.SetScaleX(action.scale);
    child->GraphModel.SetAutoscale(false);
  } else {
    child->GraphModel.SetAutoscale(true);
  }
  if (child->GraphModel.Autoscale()) {
    applyingScale_ = true;
    cbXScale->setCurrentIndex(0);
    cbXScale->setCurrentText("Fit");
    applyingScale_ = false;
  }
}

// ---------------------------------------------------------------------------
// Registrations

std::string TMainForm::NewFileName() {
  if (Children().isEmpty()) NewFileCounter = 0;
  return NextNewFileName(NewFileCounter, Exists);
}

void TMainForm::ShowChildWindow(QMdiSubWindow* w) {
  // The only registration window gets the whole frame; more share it as the user tiles.
  if (MdiArea->subWindowList().size() == 1) {
    w->showMaximized();
  } else {
    w->show();
  }
  MdiArea->setActiveSubWindow(w);
}

TChildForm* TMainForm::CreateChild(const std::string& name, bool show) {
  auto* child = new TChildForm(this, services_);
  QMdiSubWindow* w = MdiArea->addSubWindow(child);
  w->setAttribute(Qt::WA_DeleteOnClose);
  child->SetFileName(name);
  if (archiveUi_) archiveUi_->AttachChild(child);  // events archive
  // A zoom in the graph changes the scale: the scale box shows the new one.
  connect(child->Graph, &TGraph::Zoomed, this, [this, child] {
    if (ActiveChild() == child) ShowXScaleOf(child);
  });
  // Every window opens with the split last dragged in any of them.
  if (!eventsSplit_.empty()) child->SetEventsSplit(eventsSplit_);
  connect(child, &TChildForm::EventsSplitMoved, this,
          [this, child] { eventsSplit_ = child->EventsSplit(); });
  w->resize(600, 330);
  if (show) ShowChildWindow(w);
  return child;
}

TChildForm* TMainForm::ChildOfFile(const std::string& fileName) const {
  for (TChildForm* child : Children()) {
    if (child->Named && SameFile(child->FileName, fileName)) return child;
  }
  return nullptr;
}

void TMainForm::NewCommand() {
  CreateChild(NewFileName());
  UpdateControls();
}

void TMainForm::OpenCommand() {
  std::string name = openDialogName_;
  if (!OpenDialog || !OpenDialog(name)) return;
  openDialogName_ = name;
  OpenFileByName(name);
}

bool TMainForm::OpenFileByName(const std::string& fileName) {
  openDialogName_ = fileName;
  // A second window on one file would let one Save silently undo the other's edits.
  if (TChildForm* open = ChildOfFile(fileName)) {
    auto* w = qobject_cast<QMdiSubWindow*>(open->parentWidget());
    if (w && w->isMinimized()) w->showNormal();
    MdiArea->setActiveSubWindow(w);
    UpdateControls();
    return true;
  }
  QFileInfo info(Q(fileName));
  if (!info.exists() && !info.isSymLink()) {
    // A name that does not exist yet: an empty registration that Save writes there.
    TChildForm* child = CreateChild(fileName);
    child->setWindowTitle(Q(fileName));
    child->Named = true;
    child->RememberDiskState();
    UpdateControls();
    return true;
  }
  // An existing name that cannot be read says why, and no window is left behind that a
  // later Save would write over it with.
  std::string reason;
  if (info.isDir()) {
    reason = "It is a folder, not a registration file.";
  } else {
    QFile file(Q(fileName));
    if (!file.open(QIODevice::ReadOnly)) reason = file.errorString().toStdString();
  }
  if (!reason.empty()) {
    Messages().Show(MsgIcon::Error, "Error", "Cannot open file " + fileName + "\n" + reason);
    UpdateControls();
    return false;
  }
  TChildForm* child = CreateChild("", false);
  QMdiSubWindow* w = qobject_cast<QMdiSubWindow*>(child->parentWidget());
  bool ok = false;
  try {
    ok = child->OpenFile(fileName);
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
  }
  if (!ok) {
    // A window named after a file it could not read would later overwrite it unasked.
    delete w;
    UpdateControls();
    return false;
  }
  ShowChildWindow(w);
  UpdateControls();
  return true;
}

void TMainForm::ProcessCommandLine() {
  if (commandLineDone_) return;
  commandLineDone_ = true;
  std::vector<std::string> args;
  for (const QString& a : arguments_) args.push_back(a.toStdString());
  // Arguments are handled strictly in order: a file opened before "-service" opens
  // with service mode still off.
  TCmdWalk walk = WalkCommandLine(args, Exists);
  for (const TCmdAction& action : walk.actions) {
    if (action.kind == TCmdAction::ServiceOn) {
      serviceMode_ = true;
    } else {
      OpenFileByName(action.arg);
    }
  }
  if (!walk.params.empty()) OpenFromParameters(walk.params);
  if (OpenWriteReadAtStart && Children().isEmpty()) {
    NewCommand();
    if (TChildForm* child = ActiveChild()) {
      child->ShowPage(TChildPage::WriteRead);
      child->Btn1->setFocus();
    }
  }
}

void TMainForm::OpenFromParameters(const std::string& params) {
  TChildForm* child = CreateChild("", false);
  std::string name = ParamsWindowName(params);
  if (name.empty()) name = NewFileName();
  child->Kiv.DefsDir = installDir_;
  std::string message;
  bool ok = false;
  try {
    ok = child->Kiv.ParseStartParams(params, message);
  } catch (const std::exception& e) {
    message = e.what();
  }
  child->ShowLoadedRegistration(name);
  ShowChildWindow(qobject_cast<QMdiSubWindow*>(child->parentWidget()));
  UpdateControls();
  if (!ok || !message.empty()) {
    Messages().Show(ok ? MsgIcon::Information : MsgIcon::Error, ok ? "Information:" : "Error",
                    message);
  }
}

bool TMainForm::ExecuteSaveDialog(std::string& fileName, bool allFiles) {
  return SaveDialog && SaveDialog(fileName, allFiles);
}

// ---------------------------------------------------------------------------
// Options, help, about

void TMainForm::CommOptions() {
  // The port and the TCP settings must not change under a running dialogue.
  for (TChildForm* child : Children()) {
    if (child->Kiv.IsReading) {
      Messages().Show(MsgIcon::Information, "Serial port",
                      "A reading is in progress in " + child->FileName +
                          ".\nThe port can be set up when it has ended or was cancelled.");
      return;
    }
  }
  std::string port = SerialPort->CommPort;
  TBaudRate speed = SerialPort->BaudRate;
  bool tcp = comm_.MBTCPComm;
  std::string ip = comm_.MBTCPIP;
  uint16_t tcpPort = comm_.MBTCPPort;

  TCommDlg dlg(SerialPort, &comm_, this);
  dlg.SetTimeOut(static_cast<uint16_t>(comm_.Time_Out));
  dlg.SetTimeSilence(static_cast<uint16_t>(comm_.TimeSilence));
  dlg.OnHelp = [this](int) { HelpRequest(5); };
  if (RunCommDialog(dlg) == QDialog::Accepted) {
    comm_.Time_Out = dlg.TimeOut();
    comm_.TimeSilence = dlg.TimeSilence();
    return;
  }
  SerialPort->CommPort = port;
  SerialPort->BaudRate = speed;
  comm_.MBTCPComm = tcp;
  try {
    if (comm_.MBTCPComm) {
      SerialPort->Close();
    } else {
      SerialPort->Open();
    }
  } catch (const std::exception& e) {
    Messages().Show(MsgIcon::Error, "Error", e.what());
  }
  comm_.MBTCPIP = ip;
  comm_.MBTCPPort = tcpPort;
}

void TMainForm::Help() {
  TChildForm* child = ActiveChild();
  int context = 0;
  if (child && child->isAncestorOf(QApplication::focusWidget())) context = child->HelpContext();
  HelpRequest(context);
}

void TMainForm::HelpRequest(int context) {
  QString dir = THelpWindow::HelpDir(installDir_);
  if (dir.isEmpty()) {
    Messages().Show(MsgIcon::Information, "Help", "The help pages are not installed.");
    return;
  }
  if (!help_) help_ = new THelpWindow;
  // Help asked for from a modal dialog belongs to that dialog, or the dialog would block
  // it until it closes; otherwise it is a window of its own.
  QWidget* owner = QApplication::activeModalWidget();
  if (owner == help_) owner = nullptr;
  if (help_->parentWidget() != owner) {
    const bool visible = help_->isVisible();
    const QRect geometry = help_->geometry();
    help_->setParent(owner, Qt::Window);
    if (visible) help_->setGeometry(geometry);
  }
  help_->ShowContext(dir, context);
  help_->show();
  help_->raise();
}

void TMainForm::About() {
  Messages().Show(MsgIcon::Information, "Informacje",
                  "Program for unit type KIVS-2 i KIVS-3 \n\n"
                  "kivsvc - service program for transfer-switch controllers\n"
                  "The kivsvc developers\n"
                  "Free software, built from its own sources\n"
                  "Version " KIVSVC_VERSION);
}

THelpWindow* TMainForm::HelpWindow() const {
  return help_;
}
