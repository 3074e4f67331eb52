#include "fileinfodlg.h"

#include <algorithm>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "kivbase.h"
#include "kivdate.h"
#include "kivfiles.h"

TFileInfoDlg::TFileInfoDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Właściwości pliku"));
  setObjectName("FileInfoDlg");
  edDateCreate = new QLineEdit(this);
  edDateCreate->setEnabled(false);
  EditKivType = new QLineEdit(this);
  EditKivType->setEnabled(false);
  lbKivVersion = new QLabel("Unit version", this);
  labVer = new QLabel("Application version", this);
  Memo1 = new QTextEdit(this);
  Memo1->setAcceptRichText(false);
  Memo1->setLineWrapMode(QTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  tbStationInfo = new QLineEdit(this);

  auto* form = new QFormLayout;
  form->addRow("File data", edDateCreate);
  form->addRow("Unit type", EditKivType);
  form->addRow(lbKivVersion);
  form->addRow(labVer);
  form->addRow("Unit information", tbStationInfo);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* box = new QVBoxLayout(this);
  box->addLayout(form);
  box->addWidget(new QLabel("Note:", this));
  box->addWidget(Memo1);
  lbNoteLeft = new QLabel(this);
  lbNoteLeft->setObjectName("lbNoteLeft");
  box->addWidget(lbNoteLeft);
  box->addWidget(buttons);
  setSizeGripEnabled(false);
  resize(420, 380);

  connect(Memo1, &QTextEdit::textChanged, this, [this] { NoteEdited(); });
  NoteEdited();
  NoteChanged = false;
}

namespace {

std::vector<std::string> NoteLines(const QString& note) {
  std::vector<std::string> lines;
  if (!note.isEmpty()) {
    for (const QString& l : note.split('\n')) lines.push_back(l.toStdString());
  }
  return lines;
}

}  // namespace

void TFileInfoDlg::NoteEdited() {
  if (restoring_) return;
  long left = NoteBytesLeft(NoteLines(Memo1->toPlainText()), kivimg::kNoteAreaSize);
  if (left < 0) {
    // More than the note area holds would be cut off at saving without a word: the edit
    // is refused here, where the person typing sees it.
    restoring_ = true;
    Memo1->setPlainText(lastNote_);
    QTextCursor c = Memo1->textCursor();
    c.setPosition(std::min(lastCursor_, static_cast<int>(lastNote_.size())));
    Memo1->setTextCursor(c);
    restoring_ = false;
    QApplication::beep();
    left = NoteBytesLeft(NoteLines(lastNote_), kivimg::kNoteAreaSize);
  } else {
    lastNote_ = Memo1->toPlainText();
    lastCursor_ = Memo1->textCursor().position();
    NoteChanged = true;
  }
  lbNoteLeft->setText(QString("%1 bytes left of %2").arg(left).arg(kivimg::kNoteAreaSize - 1));
}

void TFileInfoDlg::Fill(const TKiv& kiv) {
  std::vector<std::string> lines;
  NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, lines);
  QStringList text;
  for (const std::string& l : lines) text << QString::fromStdString(l);
  Memo1->setPlainText(text.join('\n'));

  edDateCreate->setText(QString::fromStdString(DateTimeToStr(kiv.CreateDate())));
  TKivType type = kiv.GetKivType();
  EditKivType->setText(type == kivtKivs2 ? "KIVS-2" : type == kivtKivs3 ? "KIVS-3" : "?");
  lbKivVersion->setText("Unit version: " + QString::fromStdString(kiv.IdentificationName()));
  labVer->setText(
      QString("Program version: %1.%2").arg(kiv.VersionMajor()).arg(kiv.VersionMinor()));
  tbStationInfo->setText(QString::fromStdString(kiv.StationInfo()));
  NoteChanged = false;
}

void TFileInfoDlg::Apply(TKiv& kiv) {
  std::vector<std::string> lines;
  lines = NoteLines(Memo1->toPlainText());
  LinesToNote(lines, kiv.NoteArea(), kivimg::kNoteAreaSize);
  if (NoteChanged) kiv.Modified = true;
  std::string station = tbStationInfo->text().toStdString();
  if (station != kiv.StationInfo()) {
    kiv.SetStationInfo(station);
    kiv.Modified = true;
  }
}

int TFileInfoDlg::ShowFileInfo(TKiv& kiv) {
  Fill(kiv);
  int result = exec();
  if (result == QDialog::Accepted) Apply(kiv);
  return result;
}
