// TFileInfoDlg: the descriptive data of one registration, with its note and station
// information editable.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QTextEdit;
class TKiv;

class TFileInfoDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TFileInfoDlg(QWidget* parent = nullptr);

  // Fills the dialog from kiv, shows it modally and, on OK, writes the note and the
  // station information back. Returns the dialog's result.
  int ShowFileInfo(TKiv& kiv);
  // The filling and the writing back on their own, for callers that run the dialog
  // themselves.
  void Fill(const TKiv& kiv);
  void Apply(TKiv& kiv);

  QLineEdit* edDateCreate;
  QLineEdit* EditKivType;
  QLabel* lbKivVersion;
  QLabel* labVer;
  QTextEdit* Memo1;
  // The bytes the note area has left; typing beyond it is refused.
  QLabel* lbNoteLeft;
  QLineEdit* tbStationInfo;
  bool NoteChanged = false;

 private:
  void NoteEdited();
  QString lastNote_;
  int lastCursor_ = 0;
  bool restoring_ = false;
};
