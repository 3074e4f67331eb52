// TMainForm: the frame of the program. It holds the registration windows, the program's
// communication settings (one serial port handler, the Modbus-over-TCP settings and the
// times), reads and writes "kiv.ini", walks the command line once, and forwards its
// toolbar commands to the active registration window.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appconfig.h"
#include "childhost.h"
#include "childservices.h"
#include "commlink.h"

class QAction;
class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolButton;
class TChildForm;
class TRsdHan;
class TMBTCPClient;
class TQtWaiter;
class TCommDlg;
class THelpWindow;
class TArchiveUi;

// "kiv.ini": $KIVSVC_CONFIG when set, else in the user's configuration directory.
std::string ConfigFilePath();

class TMainForm : public QMainWindow, public IChildHost {
  Q_OBJECT
 public:
  // arguments: the program's arguments without the program name.
  // services: handed to every registration window (printing, the File menu's additions).
  explicit TMainForm(const QStringList& arguments, IChildServices* services = nullptr,
                     QWidget* parent = nullptr);
  ~TMainForm() override;

  // --- IChildHost ---
  bool ServiceMode() const override { return serviceMode_; }
  std::string InstallDir() const override { return installDir_; }
  TCommSettings& CommSettings() override { return comm_; }
  void UpdateControls() override;
  void NewCommand() override;
  void OpenCommand() override;
  void CloseProgram() override { close(); }
  bool ExecuteSaveDialog(std::string& fileName, bool allFiles) override;
  void ChildActivated(TChildForm* child) override;

  // --- commands ---
  void ProcessCommandLine();
  void OpenFromParameters(const std::string& params);
  // Opens the file as a registration without a dialog; false (and no window left behind)
  // when it could not be read.
  bool OpenFileByName(const std::string& fileName);
  TChildForm* CreateChild(const std::string& name, bool show = true);
  void ShowChildWindow(QMdiSubWindow* w);
  std::string NewFileName();
  void ApplyXScale(bool enter);
  void ShowXScaleOf(TChildForm* child);
  void CommOptions();
  void Help();
  void HelpRequest(int context) override;
  void About();
  void WriteConfig() const;

  TChildForm* ActiveChild() const;
  // The registration window of the file, if one is open (a name that is not saved yet counts).
  TChildForm* ChildOfFile(const std::string& fileName) const;
  THelpWindow* HelpWindow() const;
  // Events archive: its window, File -> "Add to archive", "Archive every reading".
  TArchiveUi* ArchiveUi() const { return archiveUi_; }
  QList<TChildForm*> Children() const;

  // File dialogs; tests replace them. Each returns true with the chosen name.
  std::function<bool(std::string& fileName)> OpenDialog;
  std::function<bool(std::string& fileName, bool allFiles)> SaveDialog;
  // Runs the options dialog modally; tests replace it to drive the dialog.
  std::function<int(TCommDlg& dlg)> RunCommDialog;

  TRsdHan* SerialPort;
  std::string ConfigSection;
  uint16_t NewFileCounter = 0;
  // The demonstration start (scripts/run.sh): when the command line opened nothing, a new
  // registration window opens on its Write/Read page, so the first click is "Reading".
  bool OpenWriteReadAtStart = false;

  // --- controls ---
  QMdiArea* MdiArea;
  QAction* btnLoad;
  QAction* btnSave;
  QAction* btnSaveAs;
  QAction* btnPrint;
  QAction* btnNormView;
  QAction* btnEventsView;
  QAction* btnListView;
  QAction* btnGraphView;
  QAction* btnGraphLegend;
  QComboBox* cbXScale;
  QLabel* StatusPanel0;
  QLabel* StatusPanel1;
  QMenu* FileMenu;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildToolbar();
  void BuildMenus();
  void ReadConfig();
  // Puts the window where it was last time, or on a good share of the screen at first.
  void ApplyPlacement(const TWindowPlacement& placement);
  // Where the window stands when neither maximised nor minimised: now, or before it was.
  QRect NormalGeometry() const;
  void RememberNormalGeometry();
  void MergeMenus(TChildForm* child);
  void ForActive(const std::function<void(TChildForm&)>& fn);

  QStringList arguments_;
  // The frame position and size of the window while not maximised.
  QRect normalGeometry_;
  IChildServices* services_;
  TCommSettings comm_;
  std::unique_ptr<TMBTCPClient> tcp_;
  std::unique_ptr<TQtWaiter> waiter_;
  bool serviceMode_ = false;
  std::string installDir_;
  std::string openDialogName_;
  bool commandLineDone_ = false;
  bool shownOnce_ = false;
  bool applyingScale_ = false;
  QMenu* optionsMenu_;
  QAction* fileMenuAction_;
  // The merged menus belong to the registration window and go with it.
  QPointer<QAction> mergedFile_;
  QPointer<QAction> mergedGraph_;
  QPointer<QAction> mergedEdit_;
  // Owned here, or by the modal dialog it was opened from (then gone with it).
  QPointer<THelpWindow> help_;
  TArchiveUi* archiveUi_ = nullptr;  // events archive
  // The events page's split as last dragged (thousandths; empty: the windows' own).
  std::vector<int32_t> eventsSplit_;
};
