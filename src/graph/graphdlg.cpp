#include "graphdlg.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QToolButton>
#include <cmath>
#include <limits>

#include "graph.h"
#include "messages.h"
#include "numfmt.h"

namespace {

std::string Text(const QLineEdit* E) {
  return E->text().toStdString();
}

QString QText(const std::string& S) {
  return QString::fromStdString(S);
}

void ShowConversionError(const std::string& Text) {
  Messages().Show(MsgIcon::Error, "Error", "'" + Text + "' is not a valid floating point value");
}

// An integer field of 16 bits: the text rounded, within Min..65535.
bool ParseField16(const std::string& Text, long Min, uint16_t& Value) {
  double v = 0;
  if (!TryTypedToFloat(Text, v) || !std::isfinite(v)) return false;
  const double r = RoundHalfEven(v);
  if (r < Min || r > std::numeric_limits<uint16_t>::max()) return false;
  Value = static_cast<uint16_t>(r);
  return true;
}

}  // namespace

bool ParseThickness(const std::string& Text, double& Value) {
  double v = 0;
  if (!TryTypedToFloat(Text, v) || !std::isfinite(v)) return false;
  Value = v;
  return true;
}

TSpinButton::TSpinButton(QWidget* parent) : QWidget(parent) {
  UpButton = new QToolButton(this);
  UpButton->setArrowType(Qt::UpArrow);
  UpButton->setGeometry(0, 0, 15, 11);
  DownButton = new QToolButton(this);
  DownButton->setArrowType(Qt::DownArrow);
  DownButton->setGeometry(0, 11, 15, 11);
  resize(15, 22);
  connect(UpButton, &QToolButton::clicked, this, &TSpinButton::UpClick);
  connect(DownButton, &QToolButton::clicked, this, &TSpinButton::DownClick);
}

TGraphSetup::TGraphSetup(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Graph setup"));
  setFixedSize(438, 273);
  QFont f(QStringLiteral("MS Sans Serif"), 8);
  f.setBold(true);
  setFont(f);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::black);
  setPalette(pal);

  auto named = [](QWidget* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
  };

  // Right panel with the three buttons.
  auto* panel = new QWidget(this);
  panel->setGeometry(438 - 85, 0, 85, 273);
  OKBtn = new QPushButton(QStringLiteral("OK"), panel);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), panel);
  HelpBtn = new QPushButton(QStringLiteral("&Help"), panel);
  named(OKBtn, "OKBtn")->setGeometry(4, 12, 77, 27);
  named(CancelBtn, "CancelBtn")->setGeometry(4, 46, 77, 27);
  named(HelpBtn, "HelpBtn")->setGeometry(4, 82, 77, 27);
  OKBtn->setDefault(true);
  connect(OKBtn, &QPushButton::clicked, this, &TGraphSetup::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &TGraphSetup::reject);
  connect(HelpBtn, &QPushButton::clicked, this, [this] {
    if (HelpRequested) HelpRequested();
  });

  Notebook = new QStackedWidget(this);
  named(Notebook, "Notebook")->setGeometry(0, 0, 438 - 85, 273 - 24);
  TabSet = new QTabBar(this);
  named(TabSet, "TabSet")->setGeometry(0, 273 - 24, 438 - 85, 24);
  TabSet->setShape(QTabBar::TriangularSouth);

  // Page 1: copy span.
  auto* copyPage = new QWidget;
  gbTime = new QGroupBox(QStringLiteral("In copying process copy for"), copyPage);
  named(gbTime, "gbTime")->setGeometry(16, 16, 320, 90);
  rbSelectAll = new QRadioButton(QStringLiteral("All value from time axis"), gbTime);
  rbSelectMark = new QRadioButton(QStringLiteral("Appointed with cursors time"), gbTime);
  named(rbSelectAll, "rbSelectAll")->setGeometry(16, 24, 290, 20);
  named(rbSelectMark, "rbSelectMark")->setGeometry(16, 54, 290, 20);
  connect(rbSelectAll, &QRadioButton::clicked, this, [this] { CopyMode = 1; });
  connect(rbSelectMark, &QRadioButton::clicked, this, [this] { CopyMode = 0; });

  // Page 2: grid lines.
  auto* linePage = new QWidget;
  auto column = [&](int x, const QString& heading, QLineEdit*& edit, const char* editName,
                    TSpinButton*& spin, const char* spinName, QFrame*& shape, const char* shapeName,
                    QPushButton*& button, const char* buttonName, QCheckBox*& box,
                    const char* boxName) {
    (new QLabel(heading, linePage))->setGeometry(x, 10, 160, 18);
    (new QLabel(QStringLiteral("Thickness [mm]"), linePage))->setGeometry(x, 36, 100, 18);
    edit = new QLineEdit(linePage);
    named(edit, editName)->setGeometry(x + 100, 34, 45, 22);
    spin = new TSpinButton(linePage);
    named(spin, spinName)->move(x + 146, 34);
    (new QLabel(QStringLiteral("Colour"), linePage))->setGeometry(x, 68, 60, 18);
    shape = new QFrame(linePage);
    named(shape, shapeName)->setGeometry(x + 60, 66, 40, 22);
    shape->setFrameShape(QFrame::Box);
    shape->setAutoFillBackground(true);
    button = new QPushButton(QStringLiteral("---"), linePage);
    named(button, buttonName)->setGeometry(x + 106, 66, 40, 22);
    box = new QCheckBox(QStringLiteral("Visible"), linePage);
    named(box, boxName)->setGeometry(x, 100, 100, 20);
    (new QLabel(QStringLiteral("Kind of lines"), linePage))->setGeometry(x, 130, 100, 18);
  };
  column(8, QStringLiteral("Mainlines grid"), Edit1, "Edit1", SpinButton1, "SpinButton1", Shape1,
         "Shape1", btnColorSetup1, "btnColorSetup1", cbShowMajor, "cbShowMajor");
  column(180, QStringLiteral("Auxiliary lines grid"), Edit2, "Edit2", SpinButton2, "SpinButton2",
         Shape2, "Shape2", Button1, "Button1", cbShowMinor, "cbShowMinor");
  connect(SpinButton1, &TSpinButton::DownClick, this, [this] { Step(Edit1, -0.1); });
  connect(SpinButton1, &TSpinButton::UpClick, this, [this] { Step(Edit1, 0.1); });
  connect(SpinButton2, &TSpinButton::DownClick, this, [this] { Step(Edit2, -0.1); });
  connect(SpinButton2, &TSpinButton::UpClick, this, [this] { Step(Edit2, 0.1); });
  connect(btnColorSetup1, &QPushButton::clicked, this, [this] { PickColor(MajorColor, Shape1); });
  connect(Button1, &QPushButton::clicked, this, [this] { PickColor(MinorColor, Shape2); });
  connect(cbShowMajor, &QCheckBox::clicked, this, [this](bool on) { ShowMajor = on; });
  connect(cbShowMinor, &QCheckBox::clicked, this, [this](bool on) { ShowMinor = on; });

  // Page 3: x scale divisions.
  auto* scalePage = new QWidget;
  (new QLabel(QStringLiteral("X axis"), scalePage))->setGeometry(16, 10, 100, 18);
  auto field = [&](int y, const QString& caption, QLineEdit*& edit, const char* name) {
    (new QLabel(caption, scalePage))->setGeometry(16, y + 2, 190, 18);
    edit = new QLineEdit(scalePage);
    named(edit, name)->setGeometry(210, y, 100, 22);
    connect(edit, &QLineEdit::textEdited, this, [this] { OnScalingEdited(); });
  };
  field(40, QStringLiteral("Value/scale"), edit_dXPerDiv, "edit_dXPerDiv");
  field(72, QStringLiteral("Lenght of primary scale"), editdXLen, "editdXLen");
  field(104, QStringLiteral("Il auxiliary scale"), edit_MinorGridCnt, "edit_MinorGridCnt");

  const QWidget* pages[] = {copyPage, linePage, scalePage};
  const QString captions[] = {QStringLiteral("Copy"), QStringLiteral("Auxiliary line"),
                              QStringLiteral("Scaling")};
  for (int i = 0; i < 3; ++i) {
    Notebook->addWidget(const_cast<QWidget*>(pages[i]));
    TabSet->addTab(captions[i]);
  }
  connect(TabSet, &QTabBar::currentChanged, Notebook, &QStackedWidget::setCurrentIndex);
  TabSet->setCurrentIndex(1);
  Notebook->setCurrentIndex(1);

  ChooseColor = [this](const QColor& c) -> std::optional<QColor> {
    QColorDialog dlg(c, this);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.selectedColor();
  };
}

void TGraphSetup::Load(const TGraphModel& Graph) {
  CopyMode = Graph.CopyWholeRange ? 1 : 0;
  rbSelectMark->setChecked(CopyMode != 1);
  rbSelectAll->setChecked(CopyMode == 1);
  MajorColor = Graph.MajorGridColor;
  MinorColor = Graph.MinorGridColor;
  Edit1->setText(QText(FloatToStrG(Graph.MajorGridWidth).substr(0, 4)));
  Edit2->setText(QText(FloatToStrG(Graph.MinorGridWidth).substr(0, 4)));
  ShowMajor = Graph.ShowMajorGrid;
  ShowMinor = Graph.ShowMinorGrid;
  cbShowMajor->setChecked(ShowMajor);
  cbShowMinor->setChecked(ShowMinor);
  ValuePerDiv = Graph.dXPerDiv;
  DivLen = Graph.dXLen;
  MinorCount = static_cast<uint16_t>(std::clamp<int32_t>(Graph.MinorGridCnt, 0, 65535));
}

void TGraphSetup::ShowColors() {
  for (auto [shape, color] : {std::pair{Shape1, MajorColor}, std::pair{Shape2, MinorColor}}) {
    QPalette p = shape->palette();
    p.setColor(QPalette::Window, ToQColor(color));
    shape->setPalette(p);
  }
}

bool TGraphSetup::Execute() {
  ShowColors();
  rbSelectAll->setChecked(CopyMode == 1);
  rbSelectMark->setChecked(CopyMode != 1);
  edit_dXPerDiv->setText(QText(FloatToStrG(ValuePerDiv)));
  editdXLen->setText(QString::number(DivLen));
  edit_MinorGridCnt->setText(QString::number(MinorCount));
  return exec() == QDialog::Accepted;
}

void TGraphSetup::Store(TGraphModel& Graph) const {
  double major = 0;
  double minor = 0;
  if (!ParseThickness(Text(Edit1), major) || !ParseThickness(Text(Edit2), minor)) return;
  Graph.CopyWholeRange = CopyMode == 1;
  Graph.MajorGridColor = MajorColor;
  Graph.MinorGridColor = MinorColor;
  Graph.MajorGridWidth = std::fabs(major);
  Graph.MinorGridWidth = std::fabs(minor);
  Graph.ShowMajorGrid = ShowMajor;
  Graph.ShowMinorGrid = ShowMinor;
  Graph.dXPerDiv = ValuePerDiv;
  Graph.dXLen = DivLen;
  Graph.MinorGridCnt = MinorCount;
}

void TGraphSetup::accept() {
  double v = 0;
  for (QLineEdit* e : {Edit1, Edit2}) {
    if (!ParseThickness(Text(e), v)) {
      ShowConversionError(Text(e));
      TabSet->setCurrentIndex(1);
      e->setFocus();
      return;
    }
  }
  QDialog::accept();
}

void TGraphSetup::Step(QLineEdit* Edit, double Delta) {
  double v = 0;
  if (!ParseThickness(Text(Edit), v)) {
    ShowConversionError(Text(Edit));
    return;
  }
  Edit->setText(QText(FloatToStrG(v + Delta)));
}

void TGraphSetup::PickColor(TGraphColor& Color, QFrame*) {
  if (ChooseColor) {
    if (std::optional<QColor> c = ChooseColor(ToQColor(Color))) {
      Color = MakeColor(static_cast<uint8_t>(c->red()), static_cast<uint8_t>(c->green()),
                        static_cast<uint8_t>(c->blue()));
    }
  }
  ShowColors();
}

void TGraphSetup::OnScalingEdited() {
  // A value that would leave the x mapping undefined, or that does not fit its field,
  // is not taken: the field keeps its last valid value.
  double v = 0;
  if (TryTypedToFloat(Text(edit_dXPerDiv), v) && std::isfinite(v) && v > 0) ValuePerDiv = v;
  uint16_t n = 0;
  if (ParseField16(Text(editdXLen), 1, n)) DivLen = n;
  if (ParseField16(Text(edit_MinorGridCnt), 0, n)) MinorCount = n;
}
