// TChildForm: the window of one registration inside the main window. Three pages: the
// events buffer (sequence list, listing, graph), the settings grid, and the Write/Read
// page with the reading options, the command tree and the message list.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "filestamp.h"
#include "graph.h"
#include "kivbase.h"
#include "writeverify.h"

class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QTabBar;
class QTabWidget;
class QTableWidget;
class QTextEdit;
class QTreeWidget;
class QTreeWidgetItem;
class QUndoStack;
class IChildHost;
class IChildServices;
class TKivComm;
class TMemoTrace;
class TListBoxSequences;
class TMemoListing;
class TEvLister;
struct TReadingSnapshot;

// The name proposed for a registration's raw events buffer: NAME-events.bin beside it.
std::string RawBufferFileName(const std::string& registration);
// Whether two names denote the same file (through links and relative paths).
bool SameFile(const std::string& a, const std::string& b);

// The window's pages, in the order of their tabs.
enum class TChildPage : int { Events = 0, Settings = 1, WriteRead = 2 };
// What the events page shows: its three parts together, or one of them on the whole page.
enum class TEventsView : int { All = 0, Sequences = 1, Graph = 2, Listing = 3 };
// Three heights (the list, the listing, the graph) as thousandths of their sum, rounded so
// they add up to 1000; empty unless there are three, none negative, with some height.
std::vector<int32_t> SplitThousandths(const std::vector<int32_t>& parts);

class TChildForm : public QWidget {
  Q_OBJECT
 public:
  // host: the main window holding it; services: printing and the File menu's additions,
  // built outside this library (without them those menu items stay disabled).
  explicit TChildForm(IChildHost* host, IChildServices* services = nullptr,
                      QWidget* parent = nullptr);
  ~TChildForm() override;
  IChildHost* Host() const { return host_; }
  IChildServices* Services() const { return services_; }

  // --- offered to the main window ---
  // False when the file could not be read; the caller then closes the window.
  bool OpenFile(const std::string& name);
  // Asks before overwriting a file someone else changed since this window loaded or saved it.
  void Save();
  void SaveAs();
  // Records what the file Save would write holds now, to see later whether it changed.
  void RememberDiskState();
  // The name Save writes: FileName, with ".kiv" when it has no extension.
  std::string SaveFileName() const;
  void Print(bool withDialog);
  void SetView(TEventsView view);
  // The page shown, and showing one.
  TChildPage CurrentPage() const;
  void ShowPage(TChildPage page);
  void OptionsToControls();
  // A registration whose image was just loaded, shown under name as a new, unmodified
  // document: read options on the controls, its first sequence shown, its parsets in the grid.
  void ShowLoadedRegistration(const std::string& name);
  void ControlsToOptions();
  void EventsListClick(bool fromList);
  void ShowParset();
  void ShowLegend();
  void SaveBuffer();
  void Properties();
  // Whether the window may close now; asks the user when the registration is modified.
  bool CloseQuery();
  void SetFileName(const std::string& name);
  // Starts and stops a reading (the "Reading" and "Cancel" buttons).
  void StartReading();
  void StopReading();
  void UpdateState();
  void SetupButtons(TChildPage page);
  void CommitCell(int c, int r);
  void RunParsetCommand(const std::string& key);
  void ExecuteCommand();
  // The help context of the focused control (the page control's context).
  int HelpContext() const;

  QMenu* FileMenu() const { return fileMenu_; }
  QMenu* GraphMenu() const { return graphMenu_; }
  QMenu* EditMenu() const { return editMenu_; }
  void SetDocumentActionsEnabled(bool enabled);
  // The events page's split between the sequence list, the listing and the graph, in
  // thousandths of the page's height (the user drags it; the program keeps it).
  std::vector<int32_t> EventsSplit() const { return eventsSplit_; }
  // Taken when it has three parts and some height; ignored otherwise.
  void SetEventsSplit(const std::vector<int32_t>& split);

  // Every edit of a settings cell is one command holding the parset's bytes before and after,
  // so undo and redo give back the exact image. Neither runs during a dialogue.
  QUndoStack* UndoStack() const { return undoStack_; }
  void Undo();
  void Redo();
  // Puts bytes (a parset's whole image) into parset n and shows it, the cell at (r, c)
  // current: what undo and redo do.
  void ApplyParsetImage(int n, const std::vector<uint8_t>& bytes, int r, int c);
  // "*" after the title while the registration differs from its file, and on the Settings
  // tab while it holds unsaved edits.
  void RefreshModifiedMark();

  TKiv Kiv;
  // The parsets as the device holds them, as far as this registration knows: what was read
  // or opened with a reading date, and what a checked write left there.
  TDeviceParsets DeviceParsets;
  // The graph of the events page and its data, which the event lister fills.
  TGraph* Graph;
  TGraphModel& GraphModel;
  TEvLister* Lister() const { return lister_.get(); }
  std::string FileName;
  bool Named = false;
  TEventsView ViewMode = TEventsView::All;
  uint8_t PrintFlags = 3;
  // A printout of this window runs (it lets window events through): no closing meanwhile.
  bool Printing = false;
  int ParsetTab = 0;
  int EditCol = -1;
  int EditRow = -1;

  // --- controls ---
  QWidget* Panel2;
  QPushButton* Btn1;
  QPushButton* Btn2;
  QPushButton* Btn3;
  QTabWidget* Notebook1;
  QWidget* Panel3;
  QSplitter* EventsSplitter;
  QListWidget* EventsListBox;
  QTextEdit* FMemo;
  QTableWidget* ZnsGrid;
  QTabBar* TabSet1;
  QSpinBox* SpinSlaveNo;
  QCheckBox* chbcorrectIOtimes;
  QCheckBox* ChBshowallEvents;
  QCheckBox* ChbTraceMessages;
  QCheckBox* chbZestaw1;
  QCheckBox* chbZestaw2;
  QCheckBox* chbEventRegister;
  QLabel* lbZns1LoadTime;
  QLabel* lbZns2LoadTime;
  QLabel* lbBufLoadTime;
  QTreeWidget* cmdOutline;
  QPlainTextEdit* MemoMessage;
  // The command tree above the trace; and the reading options above both.
  QSplitter* TraceSplitter;
  QWidget* WriteReadTop;

  QAction* actSave;
  QAction* actSaveAs;
  QAction* actPrint;
  QAction* actPrintPreview;
  QAction* actCompare;
  QAction* actExportComtrade;
  QAction* actExportCsv;
  QAction* actReport;
  QAction* actUndo;
  QAction* actRedo;

 signals:
  // The user dragged the events page's split (EventsSplit has the new one).
  void EventsSplitMoved();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildEventsPage();
  void BuildSettingsPage();
  void BuildWriteReadPage();
  void BuildMenus();
  void BuildCommandTree();
  void LayoutEventsPage();
  void EventsRead();
  int CurrentSequenceRow() const;
  void ShowCurrentSequence();
  void RedecodeEvents();
  void GridEditEnded(int c, int r);
  void ShowParsetDates();
  void FitGridColumns();
  void UpdateUndoActions();
  // The undo history starts anew: the parsets came from a file or the device.
  void ResetUndo();
  // Runs fn, which may change the registration other than through the grid; such a change
  // keeps the modified mark when the grid's edits are undone.
  void TrackOutsideChange(const std::function<void()>& fn);
  bool ChangedOnDiskSinceLoaded() const;
  void WriteRegistrationTo(const std::string& name);
  void SettleBrokenReading(TReadingSnapshot& before);
  void SetCell(int r, int c, const std::string& text);
  // Runs fn; an exception becomes a message box instead of ending the program.
  void Guarded(const std::function<void()>& fn);

  IChildHost* host_;
  IChildServices* services_;
  // Service mode as it was when the window was made: a window keeps one state, its side
  // buttons and its check boxes alike, when "-service" comes later on the command line.
  bool serviceMode_;
  std::unique_ptr<TKivComm> comm_;
  std::unique_ptr<TMemoTrace> trace_;
  std::unique_ptr<TListBoxSequences> sequences_;
  std::unique_ptr<TMemoListing> listing_;
  std::unique_ptr<TEvLister> lister_;
  std::vector<int32_t> eventsSplit_{250, 250, 500};
  QMenu* fileMenu_;
  QMenu* graphMenu_;
  QMenu* editMenu_;
  QUndoStack* undoStack_;
  bool resettingUndo_ = false;
  // A change other than a grid edit since the registration was last loaded or saved.
  bool changedOutsideGrid_ = false;
  bool heldModified_ = false;
  // The title without the modified mark, and whether the window is putting the mark on.
  QString caption_;
  bool markingTitle_ = false;
  // The file as this window last loaded or saved it, under the name Save writes.
  TFileStamp diskStamp_;
  std::string stampedName_;
  // What the running reading completed: parset 1, parset 2, the events reading.
  bool parsetRead_[2] = {false, false};
  bool eventsReadEnded_ = false;
  bool loadingOptions_ = false;
  bool fillingGrid_ = false;
  // The definitions the grid's columns were last fitted to.
  std::string gridFittedFor_ = "\x01";
  bool documentActionsEnabled_ = true;
  friend class TZnsDelegate;
};
