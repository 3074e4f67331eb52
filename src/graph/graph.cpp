#include "graph.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "changesdlg.h"
#include "graphdlg.h"
#include "markers.h"
#include "messages.h"

QColor ToQColor(TGraphColor C) {
  return QColor(ColorRed(C), ColorGreen(C), ColorBlue(C));
}

TGraphColor FromQColor(const QColor& C) {
  return MakeColor(static_cast<uint8_t>(C.red()), static_cast<uint8_t>(C.green()),
                   static_cast<uint8_t>(C.blue()));
}

QColor SelectionTint(const QColor& Highlight) {
  // A quarter of the highlight over white.
  auto mix = [](int c) { return 255 - (255 - c) / 4; };
  return QColor(mix(Highlight.red()), mix(Highlight.green()), mix(Highlight.blue()));
}

namespace {

// Any system can print to a PDF file, so a printer exists whenever Qt can make one.
bool SystemHasPrinter() {
  if (!QPrinterInfo::defaultPrinter().isNull()) return true;
  QPrinter pdf;
  pdf.setOutputFormat(QPrinter::PdfFormat);
  return pdf.isValid();
}

}  // namespace

TGraph::TGraph(QWidget* parent) : QWidget(parent), font_(QStringLiteral("Arial"), 9) {
  DefaultPrinterPresent = SystemHasPrinter;
  setFont(font_);
  setFocusPolicy(Qt::ClickFocus);
  setGeometry(0, 200, 325, 145);
  setAttribute(Qt::WA_OpaquePaintEvent);

  vBar_ = new QScrollBar(Qt::Vertical, this);
  vBar_->setRange(0, 10);
  vBar_->setSingleStep(1);
  vBar_->setObjectName(QStringLiteral("VScrollBar"));
  hBar_ = new QScrollBar(Qt::Horizontal, this);
  hBar_->setRange(0, 1000);
  hBar_->setSingleStep(1);
  hBar_->setPageStep(100);
  hBar_->setObjectName(QStringLiteral("HScrollBar"));
  connect(vBar_, &QScrollBar::valueChanged, this, [this] { OnScroll(); });
  connect(hBar_, &QScrollBar::valueChanged, this, [this] { OnScroll(); });

  cursor1_ = new TMarker(this);
  cursor2_ = new TMarker(this);
  // Told apart at a glance, on screen and on paper alike.
  cursor1_->Label = QStringLiteral("1");
  cursor2_->Label = QStringLiteral("2");
  cursor2_->LineColor = QColor(0, 0, 0xC0);
  for (TMarker* m : {cursor1_, cursor2_}) {
    connect(m, &TMarker::Changed, this, &TGraph::UpdateReadout);
    m->SnapTo = [this](int x) { return SnapValue(x); };
    // No explicit capture for a drag: the widget pressed keeps every mouse event until
    // the button is released, also outside it.
  }

  const int labelHeight = QFontMetrics(font_).height();
  const int top = 2 * kBevelWidth + 1;
  auto label = [&](const QString& text, const char* name) {
    auto* l = new QLabel(text, this);
    l->setObjectName(QLatin1String(name));
    l->setFont(font_);
    l->adjustSize();
    l->resize(l->width(), labelHeight);
    return l;
  };
  lbX1_ = label(QStringLiteral("x1= "), "lbX1");
  lbX1Value_ = label(QString(), "lbX1Value");
  lbX2_ = label(QStringLiteral("x2= "), "lbX2");
  lbX2Value_ = label(QString(), "lbX2Value");
  lbDt_ = label(QStringLiteral("dt"), "lbDt");
  lbX1_->move(30, top);
  lbX1Value_->move(lbX1_->x() + lbX1_->width(), top);
  lbX1Value_->resize(60, labelHeight);
  lbX2_->move(150, top);
  lbX2Value_->move(lbX2_->x() + lbX2_->width(), top);
  lbX2Value_->resize(60, labelHeight);
  lbDt_->move(lbX1Value_->x() + 2 * (lbX2Value_->x() - lbX1Value_->x()), top);
  lbDt_->resize(100, labelHeight);

  model_.OnChange = [this](TGraphChange c) { OnModelChange(c); };
  LayoutChildren();
  ComputeLayout();
}

TGraph::~TGraph() {
  model_.OnChange = nullptr;
}

void TGraph::OnModelChange(TGraphChange C) {
  switch (C) {
    case TGraphChange::Layout:
      ComputeLayout();
      UpdateScrollBar();
      UpdateCursors();
      break;
    case TGraphChange::Scale:
      UpdateScrollBar();
      if (!model_.Locked()) UpdateCursors();
      break;
    case TGraphChange::Redraw:
      Redraw();
      break;
    case TGraphChange::Home:
      leftValue_ = model_.DataMinRange();
      hBar_->setValue(0);
      break;
  }
}

void TGraph::LayoutChildren() {
  const int b = kBevelWidth;
  const int hh = hBar_->sizeHint().height();
  const int vw = vBar_->sizeHint().width();
  hBar_->setGeometry(b, height() - b - hh, std::max(0, width() - 2 * b), hh);
  vBar_->setGeometry(width() - b - vw, b, vw, std::max(0, height() - 2 * b - hh));
}

void TGraph::ComputeLayout() {
  model_.ScreenDpiX = logicalDpiX();
  model_.ScreenDpiY = logicalDpiY();
  const QFontMetrics fm(font_, this);
  model_.CharHeight = static_cast<int32_t>(fm.height());
  model_.PlotRect =
      ScreenPlotRect(width(), height(), kBevelWidth, cursor1_->width(), lbX1Value_->height(),
                     model_.CharHeight, vBar_->width(), hBar_->height());
}

void TGraph::UpdateScrollBar() {
  const QSignalBlocker block(hBar_);
  const TScrollRange r = model_.ScreenScrollRange();
  hBar_->setSingleStep(r.SingleStep);
  hBar_->setPageStep(r.PageStep);
  hBar_->setMaximum(r.Max);
  // A new scale keeps the instant at the plot's left edge where it was, as far as the
  // range allows.
  const int32_t pos = ScrollPosOf(model_.DataMinRange(), leftValue_,
                                  model_.XScale(model_.DataMinRange()), model_.ScreenDpiX);
  hBar_->setValue(std::clamp(pos, 0, r.Max));
  leftValue_ = model_.ScreenLeftValue(hBar_->value());
}

void TGraph::OnScroll() {
  leftValue_ = model_.ScreenLeftValue(hBar_->value());
  Redraw();
  UpdateCursors();
}

double TGraph::PixelToValue(int32_t Px) const {
  return model_.PixelToValue(Px, hBar_->value());
}

void TGraph::SetDataTimeInterval(uint16_t V) {
  ShowMessage(model_.SetDataTimeInterval(V));
}

void TGraph::SetDataTimeType(TIntervalTimeType T) {
  ShowMessage(model_.SetDataTimeType(T));
}

void TGraph::ShowMessage(const TGraphMessage& M) const {
  if (!M.Empty()) Messages().Show(MsgIcon::Warning, M.Caption, M.Text);
}

// --- screen ---

void TGraph::RenderScreen() {
  if (width() <= 0 || height() <= 0) return;
  if (model_.ScreenDpiX <= 0) ComputeLayout();
  if (backBuffer_.size() != size()) {
    backBuffer_ = QImage(size(), QImage::Format_RGB32);
  }
  backBuffer_.setDotsPerMeterX(RoundHalfEvenInt(model_.ScreenDpiX / 0.0254));
  backBuffer_.setDotsPerMeterY(RoundHalfEvenInt(model_.ScreenDpiY / 0.0254));
  model_.ClearBands();
  {
    const QSignalBlocker block(vBar_);
    vBar_->setMaximum(model_.SeriesCount());
  }
  const TGraphRect& pr = model_.PlotRect;
  const QColor background = ToQColor(model_.DataBackGround());
  QPainter p(&backBuffer_);
  p.fillRect(backBuffer_.rect(), palette().color(QPalette::Window));
  if (!pr.Empty()) {
    p.fillRect(QRect(pr.Left, pr.Top, pr.Width(), pr.Height()), background);
    p.setPen(Qt::black);
    p.drawRect(QRect(pr.Left, pr.Top, pr.Width() - 1, pr.Height() - 1));
  }
  DrawPage(p, TDrawTarget::BackBuffer, pr, static_cast<uint16_t>(vBar_->value() + 1),
           model_.SeriesCount(), PixelToValue(pr.Left), PixelToValue(pr.Right));
  p.setPen(QPen(background, 1));
  p.drawLine(pr.Left, pr.Top, pr.Left, pr.Bottom - 1);
  p.setPen(QPen(model_.DataBackGround() == kColorWhite ? Qt::black : Qt::white, 1));
  p.drawLine(pr.Left + 1, pr.Top, pr.Left + 1, pr.Bottom - 1);
}

void TGraph::Redraw() {
  RenderScreen();
  if (!model_.Locked()) update();
}

void TGraph::paintEvent(QPaintEvent*) {
  if (backBuffer_.size() != size()) RenderScreen();
  QPainter p(this);
  p.drawImage(0, 0, backBuffer_);
  // The panel's raised bevel.
  p.setPen(palette().color(QPalette::Light));
  p.drawLine(0, 0, width() - 1, 0);
  p.drawLine(0, 0, 0, height() - 1);
  p.setPen(palette().color(QPalette::Dark));
  p.drawLine(width() - 1, 0, width() - 1, height() - 1);
  p.drawLine(0, height() - 1, width() - 1, height() - 1);
  if (!model_.Locked()) {
    DrawSelectionMarks(p);
    DrawHairlines(p);
  }
}

void TGraph::DrawSelectionMarks(QPainter& P) const {
  // A light tint multiplied into the band: white turns the tint, every bar keeps its state
  // colour (only a shade darker) and the separator stays black, so a selected band still
  // reads as it did. The band is not redrawn for it.
  const QColor tint = SelectionTint(palette().color(QPalette::Highlight));
  P.save();
  P.setCompositionMode(QPainter::CompositionMode_Multiply);
  P.setBrush(tint);
  P.setPen(Qt::NoPen);
  for (uint32_t r = 1; r <= model_.SeriesCount(); ++r) {
    const auto row = static_cast<uint16_t>(r);
    if (!model_.RowSelected(row)) continue;
    const TGraphRect b = model_.RowBand(row);
    if (b.Empty()) continue;
    P.drawRect(QRect(b.Left, b.Top, b.Width(), b.Height()));
  }
  P.restore();
}

void TGraph::DrawHairlines(QPainter& P) const {
  const TGraphRect& pr = model_.PlotRect;
  if (pr.Empty()) return;
  for (const TMarker* m : {cursor1_, cursor2_}) {
    if (!m->Placed()) continue;
    const int x = m->x() + m->width() / 2;
    if (x < pr.Left || x >= pr.Right) continue;
    P.setPen(QPen(m->LineColor, 1));
    P.drawLine(x, pr.Top, x, pr.Bottom - 1);
    // The number beside the triangle, right of it.
    P.drawText(m->x() + m->width() + 1, m->y() + m->height(), m->Label);
  }
}

void TGraph::resizeEvent(QResizeEvent*) {
  backBuffer_ = QImage(size(), QImage::Format_RGB32);
  LayoutChildren();
  ComputeLayout();
  if (model_.Autoscale()) {
    model_.BeginUpdate();
    model_.SetScaleX(model_.FitScale(true));
    model_.EndUpdate();
  } else {
    UpdateScrollBar();
    Redraw();
  }
  UpdateCursors();
}

// --- cursors ---

void TGraph::UpdateCursors() {
  const TGraphRect& pr = model_.PlotRect;
  for (TMarker* m : {cursor1_, cursor2_}) {
    m->BeginUpdate();
    m->SetRange(pr);
    m->SetLimits(PixelToValue(pr.Left), PixelToValue(pr.Right));
    m->EndUpdate();
  }
}

void TGraph::UpdateReadout(TMarker* Sender) {
  update();  // the hairline follows the cursor
  // Both values whenever placed, so x1, x2 and dt always read together.
  for (TMarker* m : {cursor1_, cursor2_}) {
    if (m != Sender && !m->Placed()) continue;
    (m == cursor1_ ? lbX1Value_ : lbX2Value_)
        ->setText(QString::fromStdString(CursorValueText(m->Value())));
  }
  if (!cursor1_->Placed() || !cursor2_->Placed()) return;
  lbDt_->setText(QStringLiteral("dt=") +
                 QString::fromStdString(CursorValueText(cursor2_->Value() - cursor1_->Value())));
}

QString TGraph::X1Text() const {
  return lbX1Value_->text();
}
QString TGraph::X2Text() const {
  return lbX2Value_->text();
}
QString TGraph::DtText() const {
  return lbDt_->text();
}

// --- selection ---

void TGraph::SelectAll(bool Value) {
  if (model_.SeriesCount() == 0) return;
  model_.SelectAll(Value);
  update();
}

void TGraph::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  leftDown_ = true;
  const QPoint pos = Event->position().toPoint();
  const uint16_t s = RowAtPoint(pos);
  const bool shift = Event->modifiers() & Qt::ShiftModifier;
  const bool ctrl = Event->modifiers() & Qt::ControlModifier;
  if (!shift && ctrl) {
    model_.SetRowSelected(s, !model_.RowSelected(s));
    update();
    setFocus(Qt::MouseFocusReason);
    return;
  }
  if (!shift) {
    model_.AnchorSeries = s;
    if (model_.SelectedCount() > 0) DeselectAll();
    if (model_.AnchorSeries != 0) model_.SetRowSelected(s, true);
  } else {
    if (model_.AnchorSeries == 0) model_.AnchorSeries = s;
    const uint16_t a = std::min(model_.AnchorSeries, s);
    const uint16_t b = std::max(model_.AnchorSeries, s);
    for (uint32_t r = a; r <= b; ++r) model_.SetRowSelected(static_cast<uint16_t>(r), true);
  }
  update();
  model_.LastSeries = model_.AnchorSeries;
  setFocus(Qt::MouseFocusReason);
}

void TGraph::mouseMoveEvent(QMouseEvent* Event) {
  if (!leftDown_ && !(Event->buttons() & Qt::LeftButton)) return;
  const uint16_t s = RowAtPoint(Event->position().toPoint());
  if (s == 0) return;
  if (s != model_.LastSeries) {
    model_.SelectAll(false);
    if (model_.AnchorSeries == 0) model_.AnchorSeries = s;
    const uint16_t a = std::min(model_.AnchorSeries, s);
    const uint16_t b = std::max(model_.AnchorSeries, s);
    for (uint32_t r = a; r <= b; ++r) model_.SetRowSelected(static_cast<uint16_t>(r), true);
    update();
    setFocus(Qt::MouseFocusReason);
  }
  model_.LastSeries = s;
}

void TGraph::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) leftDown_ = false;
  Event->accept();
}

void TGraph::mouseDoubleClickEvent(QMouseEvent* Event) {
  Event->accept();
}

void TGraph::keyPressEvent(QKeyEvent* Event) {
  // One copy per press: the keyboard's auto-repeat is ignored.
  if (Event->matches(QKeySequence::Copy)) {
    if (!Event->isAutoRepeat()) CopyToClipboard();
    Event->accept();
    return;
  }
  switch (Event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:  // + without Shift on most layouts
      ZoomIn();
      break;
    case Qt::Key_Minus:
      ZoomOut();
      break;
    case Qt::Key_Left:
      hBar_->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Right:
      hBar_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    case Qt::Key_PageUp:
      hBar_->triggerAction(QAbstractSlider::SliderPageStepSub);
      break;
    case Qt::Key_PageDown:
      hBar_->triggerAction(QAbstractSlider::SliderPageStepAdd);
      break;
    case Qt::Key_Home:
      hBar_->setValue(hBar_->minimum());
      break;
    case Qt::Key_End:
      hBar_->setValue(hBar_->maximum());
      break;
    case Qt::Key_Up:
      vBar_->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Down:
      vBar_->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    default:
      break;
  }
  Event->accept();
}

void TGraph::wheelEvent(QWheelEvent* Event) {
  const QPoint delta = Event->angleDelta();
  // One notch of a common wheel is 120; a touchpad sends smaller steps.
  const int notches = delta.y() != 0 ? delta.y() : delta.x();
  if (notches == 0) return;
  if (Event->modifiers() & Qt::ControlModifier) {
    ZoomAt(std::pow(2.0, notches / 240.0), static_cast<int32_t>(Event->position().x()));
  } else {
    // Turned toward the user the wheel moves later in time, as a page scrolls down.
    const double px = -notches / 120.0 * hBar_->singleStep();
    hBar_->setValue(hBar_->value() + static_cast<int>(std::lround(px)));
  }
  Event->accept();
}

// --- zoom ---

int32_t TGraph::ValueToPixel(double X) const {
  const TGraphRect& pr = model_.PlotRect;
  return pr.Left + ValueToPx(model_.XScale(PixelToValue(pr.Left)), model_.ScreenDpiX, X);
}

int32_t TGraph::ZoomAnchorPx() const {
  const TGraphRect& pr = model_.PlotRect;
  const int32_t centre = (pr.Left + pr.Right) / 2;
  if (!cursor1_->Placed() || !cursor2_->Placed()) return centre;
  const int32_t mid = ValueToPixel((cursor1_->Value() + cursor2_->Value()) / 2.0);
  return mid >= pr.Left && mid <= pr.Right ? mid : centre;
}

void TGraph::ShowFrom(int32_t Scale, double Left) {
  model_.SetAutoscale(false);
  leftValue_ = Left;
  // The scale's notice puts the scroll bar under leftValue_ and the cursors under their
  // values.
  model_.SetScaleX(Scale);
  emit Zoomed();
}

void TGraph::ZoomAt(double Factor, int32_t AnchorPx) {
  const TGraphRect& pr = model_.PlotRect;
  if (pr.Empty() || model_.ScreenDpiX <= 0) return;
  const int32_t px = std::clamp(AnchorPx, pr.Left, pr.Right);
  const double anchor = PixelToValue(px);
  const int32_t scale =
      ZoomedScale(model_.ScaleX(), Factor, std::min(model_.FitScale(true), model_.ScaleX()));
  if (scale == model_.ScaleX()) return;
  const double offset = PxToValue(TXScale{0.0, model_.dXPerDiv, model_.dXLen, scale},
                                  model_.ScreenDpiX, px - pr.Left);
  ShowFrom(scale, anchor - offset);
}

bool TGraph::ZoomToCursors() {
  if (!cursor1_->Placed() || !cursor2_->Placed()) return false;
  const double a = std::min(cursor1_->Value(), cursor2_->Value());
  const double b = std::max(cursor1_->Value(), cursor2_->Value());
  const std::optional<TSpanView> v =
      SpanScale(a, b, model_.PlotRect.Width(), model_.ScreenDpiX, model_.dXPerDiv, model_.dXLen);
  if (!v) return false;
  ShowFrom(v->ScaleX, v->Left);
  return true;
}

// --- printing ---

void TGraph::UpdatePaperSize(QPrinter* Printer) {
  auto take = [this](const QPrinter& p) {
    const QRectF paper = p.pageLayout().fullRect(QPageLayout::Millimeter);
    model_.PaperWidth = RoundHalfEvenInt(paper.width());
    model_.PaperHeight = RoundHalfEvenInt(paper.height());
    paperLandscape_ = p.pageLayout().orientation() == QPageLayout::Landscape;
  };
  if (Printer != nullptr) {
    take(*Printer);
    return;
  }
  const QPrinterInfo info = QPrinterInfo::defaultPrinter();
  if (!info.isNull()) {
    take(QPrinter(info));
    return;
  }
  QPrinter pdf;
  pdf.setOutputFormat(QPrinter::PdfFormat);
  if (pdf.isValid()) take(pdf);
}

int32_t TGraph::Pages() {
  UpdatePaperSize();
  return model_.Pages();
}

// --- options and copy ---

bool TGraph::ShowOptions() {
  TGraphSetup dlg(window());
  dlg.HelpRequested = OnHelp;
  dlg.Load(model_);
  const bool ok = dlg.Execute();
  if (ok) dlg.Store(model_);
  model_.BeginUpdate();
  UpdateCursors();
  // The scroll bar counts minor divisions of dXPerDiv: take the new settings over, with
  // the fitted scale when Autoscale is on.
  model_.EndUpdate();
  return ok;
}

QImage TGraph::RenderImage(double XA, double XB, double DpiX, double DpiY, bool AllSeries) const {
  std::vector<double> bands;
  for (uint32_t r = 1; r <= model_.SeriesCount(); ++r) {
    const auto row = static_cast<uint16_t>(r);
    if (AllSeries || model_.RowSelected(row)) bands.push_back(model_.SeriesHeightMm(row));
  }
  const int32_t spanPx = ValueToPx(model_.XScale(XA), DpiX, XB);
  const TCopyLayout l = CopyLayout(bands, model_.TitleHeight, spanPx, DpiX, DpiY, UnitRoomPx(DpiX),
                                   LabelRoomPx(XA, DpiX));
  if (l.Height <= 0 || l.Width <= 0) return {};
  QImage image(l.Width, l.Height, QImage::Format_RGB32);
  image.setDotsPerMeterX(RoundHalfEvenInt(DpiX / 0.0254));
  image.setDotsPerMeterY(RoundHalfEvenInt(DpiY / 0.0254));
  image.fill(Qt::white);
  QPainter p(&image);
  p.setPen(QPen(Qt::black, 1));
  p.drawRect(0, 0, l.Width - 1, l.Height - 1);
  auto* self = const_cast<TGraph*>(this);
  if (AllSeries) {
    // Drawing as another bitmap takes the selected series: select all for the drawing
    // and put the user's selection back after.
    std::vector<uint16_t> selected;
    for (uint32_t r = 1; r <= model_.SeriesCount(); ++r) {
      if (model_.RowSelected(static_cast<uint16_t>(r)))
        selected.push_back(static_cast<uint16_t>(r));
    }
    self->model_.SelectAll(true);
    self->DrawPage(p, TDrawTarget::Bitmap, l.Draw, 1, model_.SeriesCount(), XA, XB);
    self->model_.SelectAll(false);
    for (uint16_t r : selected) self->model_.SetRowSelected(r, true);
  } else {
    self->DrawPage(p, TDrawTarget::Bitmap, l.Draw, 1, model_.SeriesCount(), XA, XB);
  }
  return image;
}

namespace {

// Text width as the drawing measures it: the graph's font on an image of that resolution.
int TextWidthAt(const QFont& Font, double DpiX, const QString& Text) {
  QImage probe(1, 1, QImage::Format_RGB32);
  probe.setDotsPerMeterX(RoundHalfEvenInt(DpiX / 0.0254));
  probe.setDotsPerMeterY(RoundHalfEvenInt(DpiX / 0.0254));
  return QFontMetrics(Font, &probe).horizontalAdvance(Text);
}

}  // namespace

int32_t TGraph::UnitRoomPx(double DpiX) const {
  const QString unit = QString::fromStdString(model_.AxisUnit());
  if (unit.isEmpty()) return 0;
  // Half the unit hangs right of the drawing's edge; one character more keeps it off the
  // frame.
  return (TextWidthAt(font_, DpiX, unit) + 1) / 2 + TextWidthAt(font_, DpiX, QStringLiteral("A"));
}

int32_t TGraph::LabelRoomPx(double XA, double DpiX) const {
  // No label near XA is longer than XA written with the most decimals a label carries.
  const QString widest = QString::fromStdString(AxisLabelText(XA, LabelDecimals(0.001)));
  const int32_t half = (TextWidthAt(font_, DpiX, widest) + 1) / 2 + 1;
  constexpr int32_t kMarginPx = 10;  // the copy's own margin left of the drawing
  return std::max(0, half - kMarginPx);
}

QImage TGraph::CopyImage() const {
  if (model_.SelectedCount() == 0) return {};
  const TCopySpan span = CopySpan(model_.CopyWholeRange, model_.DataMinRange(),
                                  model_.DataMaxRange(), cursor1_->Value(), cursor2_->Value());
  if (span.Empty()) return {};
  return RenderImage(span.XA, span.XB, model_.ScreenDpiX > 0 ? model_.ScreenDpiX : 96,
                     model_.ScreenDpiY > 0 ? model_.ScreenDpiY : 96);
}

bool TGraph::CopyToClipboard() {
  const QImage image = CopyImage();
  if (image.isNull()) return false;
  QGuiApplication::clipboard()->setImage(image);
  return true;
}

// --- measuring ---

std::vector<TStateChange> TGraph::ChangesBetweenCursors() const {
  return StateChanges(model_, cursor1_->Value(), cursor2_->Value(), StateNamer);
}

std::optional<double> TGraph::SnapValue(int X) const {
  const TGraphRect& pr = model_.PlotRect;
  if (pr.Empty() || model_.ScreenDpiX <= 0) return std::nullopt;
  // The series on screen are the drawn ones.
  std::vector<uint16_t> rows;
  for (uint32_t r = 1; r <= model_.SeriesCount(); ++r) {
    if (!model_.RowBand(static_cast<uint16_t>(r)).Empty()) rows.push_back(static_cast<uint16_t>(r));
  }
  const double v = PixelToValue(X);
  const double tolerance = std::fabs(PixelToValue(X + kSnapPx) - v);
  const std::optional<double> snapped = NearestChange(model_, rows, v, tolerance, StateNamer);
  if (!snapped) return std::nullopt;
  // Only a change inside the window: the cursor's value must stay between its limits.
  if (*snapped < PixelToValue(pr.Left) || *snapped > PixelToValue(pr.Right)) return std::nullopt;
  return snapped;
}

void TGraph::ShowChangesBetweenCursors() {
  TChangesDialog dlg(ChangesBetweenCursors(), cursor1_->Value(), cursor2_->Value(), window());
  dlg.exec();
}
