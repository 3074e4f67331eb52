// The events archive in the program: the Archive window (devices, sequences, filters),
// File -> "Add to archive" of a registration window, and the option "Archive every
// reading". The main window owns one TArchiveUi and hands it each registration window it
// creates; everything else of the archive stays in this component.
#pragma once

#include <QAbstractTableModel>
#include <QObject>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archivedb.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QMenu;
class QTableView;
class TChildForm;

// The sequences found, for the table; the tooltip of a row asks the archive when the
// sequence was first and last seen (only for the rows the user points at).
class TArchiveSequenceModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TArchiveSequenceModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}
  void Reset(TArchive* archive, std::vector<TArchiveSequence> rows);
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  const TArchiveSequence* Row(int r) const;

 private:
  TArchive* archive_ = nullptr;
  std::vector<TArchiveSequence> rows_;
};

class TArchiveWindow : public QWidget {
  Q_OBJECT
 public:
  // open: opens archived sequence id in a registration window.
  TArchiveWindow(std::function<TArchive*(std::string& error)> archive,
                 std::function<void(int64_t id)> open, QWidget* parent = nullptr);
  // Reads the devices again and repeats the search.
  void Refresh();
  void Search();
  // Device names are labels: renames a device (errors in a message box).
  bool RenameDevice(const std::string& from, const std::string& to);
  // Merges the history of device `from` into `into` after the user confirmed it.
  bool MergeDevices(const std::string& from, const std::string& into);

  QListWidget* lbDevices;
  QLineEdit* edtFrom;
  QLineEdit* edtTo;
  QLineEdit* edtEvent;
  QLineEdit* edtText;
  QTableView* tvSequences;
  QLabel* lbStatus;
  QPushButton* btnRename;
  QPushButton* btnMerge;
  TArchiveSequenceModel* Model;

 private:
  void OpenRow(int row);
  // The device selected in the list; "" for "All devices".
  std::string CurrentDevice() const;
  void AskRename();
  void AskMerge();
  std::function<TArchive*(std::string&)> archive_;
  std::function<void(int64_t)> open_;
  QLabel* lbLocation_;
};

class TArchiveUi : public QObject {
  Q_OBJECT
 public:
  // iniPath/iniSection: kiv.ini and the program's section (keys Archive and
  // ArchiveEveryReading); createChild makes an empty registration window.
  TArchiveUi(QWidget* mainWindow, std::string iniPath, std::string iniSection,
             std::function<TChildForm*()> createChild);
  ~TArchiveUi() override;

  // "Add to archive" in the window's File menu, and its readings archived when they end.
  void AttachChild(TChildForm* child);
  // The check item "Archive every reading" for the options menu.
  void AddOptions(QMenu* menu);
  // The Window menu's item.
  void AddWindowItem(QMenu* menu);
  void ShowWindow();
  // Imports the registration of child; the summary or the error goes to its message list.
  bool AddToArchive(TChildForm& child, std::string& summary);
  void OpenSequence(int64_t id);

  bool ArchiveEveryReading = true;
  // The open archive; nullptr with error when it cannot be opened (asked again next time).
  TArchive* Archive(std::string& error);
  TArchiveWindow* Window() const { return window_; }
  QAction* actArchiveEveryReading = nullptr;

 private:
  QWidget* main_;
  std::string iniPath_, iniSection_;
  std::function<TChildForm*()> createChild_;
  std::unique_ptr<TArchive> archive_;
  TArchiveWindow* window_ = nullptr;
};
