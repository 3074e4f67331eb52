#include "childform.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "kivcomm.h"
#include "lister.h"
#include "messages.h"
#include "readingguard.h"
#include "widgetsinks.h"

// The write/read page: the read options, the reading itself, the command tree and the trace.

namespace {

constexpr int kKeyRole = Qt::UserRole + 1;

}  // namespace

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

void TChildForm::StartReading() {
  if (!Kiv.IsReading) {
    TrackOutsideChange([this] {
      TReadingSnapshot before = SnapshotBeforeReading(Kiv, lister_->SequenceCount());
      parsetRead_[0] = parsetRead_[1] = false;
      eventsReadEnded_ = false;
      try {
        comm_->ReadAll();
      } catch (const std::exception& e) {
        trace_->Append(std::string("Exception in ReadFromKIV: ") + e.what());
      } catch (...) {
        trace_->Append("Exception in ReadFromKIV: ");
      }
      SettleBrokenReading(before);
    });
  }
  UpdateState();
}

void TChildForm::SettleBrokenReading(TReadingSnapshot& before) {
  TReadingEnd end;
  end.Broken = Kiv.Error || Kiv.Cancel;
  end.ParsetRead[0] = parsetRead_[0];
  end.ParsetRead[1] = parsetRead_[1];
  // The count of an events reading that did not run this time is an earlier one's.
  end.EventsKept = eventsReadEnded_ ? comm_->EventsKept() : 0;
  end.PartialSequences = lister_->SequenceCount();
  if (SettleReading(Kiv, before, end, Messages()) == TEventsSettled::PreviousKept) EventsRead();
  // Edits of a parset the device replaced cannot be undone into it.
  if (parsetRead_[0] || parsetRead_[1]) ResetUndo();
}

void TChildForm::StopReading() {
  comm_->CancelReading();
  UpdateState();
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
  // Enter answers No: only a deliberate Yes writes to a device.
  if (Messages().AskWithDefault(MsgIcon::Warning, "Confirm realization of recommendation", text,
                                MsgButtons::YesNo, MsgAnswer::No) != MsgAnswer::Yes) {
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
