// The graph widget under the offscreen platform: scaling and pages, drawing checked on
// images, cursors, selection with the mouse, the clipboard copy, the setup dialog and
// printing to the PDF printer.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>

#include "changesdlg.h"
#include "graph.h"
#include "graphdlg.h"
#include "markers.h"
#include "messages.h"
#include "route.h"

namespace {

TGraphPoint Pt(double x, TGraphColor c, uint8_t thickness = 16) {
  TGraphPoint p;
  p.X = x;
  p.Color = c;
  p.Thickness = thickness;
  return p;
}

int Round(double v) {
  return RoundHalfEvenInt(v);
}

// Presses, releases and moves with the left button held (unless Held is false).
void Mouse(QWidget* w, QEvent::Type t, QPoint pos, Qt::KeyboardModifiers mods = {},
           bool Held = true) {
  const Qt::MouseButton button = t == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  const Qt::MouseButtons buttons =
      t == QEvent::MouseButtonRelease || !Held ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent e(t, QPointF(pos), w->mapToGlobal(QPointF(pos)), button, buttons, mods);
  QApplication::sendEvent(w, &e);
}

void Click(TGraph& g, QPoint pos, Qt::KeyboardModifiers mods = {}) {
  Mouse(&g, QEvent::MouseButtonPress, pos, mods);
  Mouse(&g, QEvent::MouseButtonRelease, pos, mods);
}

// The centre of series r's band on the screen.
QPoint BandCentre(const TGraph& g, uint16_t r) {
  const TGraphRect b = g.Model().RowBand(r);
  return {(b.Left + b.Right) / 2, (b.Top + b.Bottom) / 2};
}

QImage WhiteImage(int w, int h, int dpi) {
  QImage img(w, h, QImage::Format_RGB32);
  img.setDotsPerMeterX(Round(dpi / 0.0254));
  img.setDotsPerMeterY(Round(dpi / 0.0254));
  img.fill(Qt::white);
  return img;
}

// A word of `pdftotext -bbox`: its text and box in points.
struct TPdfWord {
  QString text;
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

// The words of page `page` of a PDF, read with pdftotext -bbox; empty when the tool fails.
QList<TPdfWord> PdfWords(const QString& pdf, int page = 1) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"),
          {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page),
           QStringLiteral("-l"), QString::number(page), pdf, QStringLiteral("-")});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
  const QString html = QString::fromUtf8(p.readAllStandardOutput());
  static const QRegularExpression re(QStringLiteral(
      R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
  QList<TPdfWord> words;
  for (auto it = re.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    words.push_back({m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                     m.captured(3).toDouble(), m.captured(4).toDouble()});
  }
  return words;
}

int PdfPageCount(const QString& pdf) {
  QFile f(pdf);
  if (!f.open(QIODevice::ReadOnly)) return -1;
  const QByteArray data = f.readAll();
  return static_cast<int>(data.count("/Type /Page\n") + data.count("/Type /Page\r") +
                          data.count("/Type /Page "));
}

int CountRowsWith(const QImage& img, int x, QRgb colour) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y) n += img.pixel(x, y) == colour;
  return n;
}

}  // namespace

class TGraphWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    graph = new TGraph;
    graph->resize(800, 400);
    graph->show();
    QVERIFY(QTest::qWaitForWindowExposed(graph));
  }
  void cleanup() { delete graph; }

  void ScaleAndPages();
  void FitScaleFollowsThePlot();
  void IntervalMessages();
  void BarPixels();
  void BarThicknessAt300Dpi();
  void BandOrderAndBitmapSelection();
  void ScreenRecordsBands();
  void CursorDragAndReadouts();
  void ClickSelection();
  void DragSelection();
  void CopyBitmapSize();
  void CopyBetweenCursors();
  void CtrlCCopiesOncePerPress();
  void SetupDialogOk();
  void SetupDialogCancel();
  void SetupDialogRefusesBadValues();
  void PrintToPdf();
  void PrintWithoutPrinter();
  void LegendDraws();
  void PrintedAxisLabelsReadRight_data();
  void PrintedAxisLabelsReadRight();
  void CopyKeepsTheUnitAndHairlines();
  void CopyKeepsTheFirstLabelWhole();
  void ScrollingReachesEveryInstant();
  void FitShowsTheWholeRangeFromItsStart();
  void CursorsAreToldApart();
  void ZoomAndScrollLikeAViewer();
  void ZoomToCursors();
  void SelectionKeepsStateColours();
  void ShiftSnapsCursorToAChange();
  void ChangesBetweenCursorsDialog();

 private:
  void Fill(int series, double maxX) {
    graph->BeginUpdate();
    graph->Clear();
    for (int r = 1; r <= series; ++r) {
      graph->AddPoint(static_cast<uint16_t>(r), Pt(0, kColorRed));
      graph->AddPoint(static_cast<uint16_t>(r), Pt(maxX, kColorGreen));
      graph->SetRowName(static_cast<uint16_t>(r), "S" + std::to_string(r));
    }
    graph->EndUpdate();
  }
  // Runs Action on the setup dialog once it is open.
  void OnDialog(std::function<void(TGraphSetup*)> Action) {
    QTimer::singleShot(0, [Action] {
      auto* dlg = qobject_cast<TGraphSetup*>(QApplication::activeModalWidget());
      QVERIFY(dlg != nullptr);
      Action(dlg);
      // A failed check inside Action returns early: never leave the dialog open.
      if (dlg->isVisible()) dlg->reject();
    });
  }

  TGraph* graph = nullptr;
};

void TGraphWidgetTest::ScaleAndPages() {
  graph->SetAutoscale(false);
  Fill(40, 100);
  graph->SetScaleX(100);
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  graph->UpdatePaperSize(&printer);
  TGraphModel& m = graph->Model();
  QCOMPARE(m.PaperWidth, 210);
  QCOMPARE(m.PaperHeight, 297);
  // 1000 mm on 180 mm of paper: 6 pages across, 18 x units each; 24 of the 40 series
  // of 7 mm fit a page (24 x 7 + 10 = 178), so 2 pages down.
  QCOMPARE(m.HorizontalPages(), 6);
  QCOMPARE(m.PageSpanX(), 18.0);
  QCOMPARE(m.VerticalPages(), 2);
  QCOMPARE(m.Pages(), 12);
  const TVerticalSplit second = m.SplitForPage(2);
  QCOMPARE(int(second.First), 25);
  QCOMPARE(int(second.Last), 40);
  // The horizontal scroll bar counts pixels: the route's width beyond the plot's.
  const int plot = graph->PlotRect().Width();
  QCOMPARE(graph->HorizontalBar()->maximum(),
           int(std::ceil(MmToPx(m.ScreenDpiX, 100 * 10 * graph->ScaleX() / 100.0)) - plot));
  QCOMPARE(graph->HorizontalBar()->pageStep(), plot);
  graph->Clear();
  QCOMPARE(m.Pages(), 0);
}

void TGraphWidgetTest::FitScaleFollowsThePlot() {
  Fill(3, 100);
  const TGraphRect pr = graph->PlotRect();
  QVERIFY(pr.Left > 0 && pr.Right > pr.Left && pr.Bottom > pr.Top);
  QCOMPARE(pr.Left, 3 * 10 / 2 + TGraph::kBevelWidth);
  const double dpi = graph->logicalDpiX();
  const int fit = Round(pr.Width() * 25.4 / dpi * 100.0 / 10 / 100.0);
  QCOMPARE(graph->ScaleX(), fit);
  // The whole range is in the window.
  QVERIFY(std::fabs(graph->PixelToValue(pr.Left)) < 1e-9);
  QVERIFY(std::fabs(graph->PixelToValue(pr.Right) - 100.0) < 0.5);
  // A wider panel fits again.
  graph->resize(1200, 400);
  QVERIFY(graph->ScaleX() > fit);
  // The scale box's fixed scale.
  graph->SetAutoscale(false);
  graph->SetScaleX(100);
  QCOMPARE(graph->ScaleX(), 100);
  QVERIFY(std::fabs(graph->PixelToValue(pr.Left + Round(dpi * 10 / 25.4 * 3)) - 3.0) < 0.05);
}

void TGraphWidgetTest::IntervalMessages() {
  TRecordingMessages rec;
  TScopedMessageService scope(&rec);
  graph->SetDataTimeType(TIntervalTimeType::mSeconds);
  QCOMPARE(int(graph->Model().DataTimeInterval()), 100);
  QCOMPARE(rec.shown.size(), size_t(0));
  graph->SetDataTimeInterval(5000);
  QCOMPARE(int(graph->Model().DataTimeInterval()), 1000);
  QCOMPARE(rec.shown.size(), size_t(1));
  QCOMPARE(rec.shown[0].text, std::string("Maximum value is 1000 when MSeconds selected."));
  QCOMPARE(rec.shown[0].title, std::string("OverRange."));
  graph->SetDataTimeInterval(50);
  QCOMPARE(int(graph->Model().DataTimeInterval()), 50);
  QCOMPARE(rec.shown.back().text,
           std::string("Minimum value of 100 when MSeconds selected is recommended for accuracy."));
}

void TGraphWidgetTest::BarPixels() {
  // Red from 0 to 5, green from 5 (the last point, not drawn beyond itself), window 0..10.
  graph->BeginUpdate();
  graph->Clear();
  graph->AddPoint(1, Pt(0, kColorRed));
  graph->AddPoint(1, Pt(5, kColorGreen));
  graph->EndUpdate();
  graph->SetAutoscale(false);
  graph->SetScaleX(100);
  graph->SelectAll();
  QImage img = WhiteImage(600, 200, 96);
  const TGraphRect rect{20, 20, 520, 150};
  graph->DrawPage(&img, TDrawTarget::Bitmap, rect, 1, 1, 0, 10);
  const int hb = Round(7 * 96 / 25.4);       // 26
  const int lines = Round(1.6 * 96 / 25.4);  // 6
  const int barY = rect.Top + hb - 1;        // lowest row of the band
  const int x5 = rect.Left + Round(5 * 10 * 96 / 25.4);
  const QRgb red = qRgb(255, 0, 0);
  QCOMPARE(img.pixel(rect.Left + 5, barY), red);
  QCOMPARE(img.pixel(x5 - 1, barY), red);
  QCOMPARE(img.pixel(rect.Left + 5, barY - lines + 1), red);
  QVERIFY(img.pixel(rect.Left + 5, barY - lines) != red);
  QCOMPARE(CountRowsWith(img, rect.Left + 50, red), lines);
  // Nothing beyond the last point: neither red nor green after x = 5.
  for (int x = x5; x < rect.Right; x += 7) {
    QVERIFY(img.pixel(x, barY) != red);
    QVERIFY(img.pixel(x, barY) != qRgb(0, 128, 0));
  }
  // The separator below the band and the axes are black.
  QCOMPARE(img.pixel(rect.Left + 40, rect.Top + hb), qRgb(0, 0, 0));
  QCOMPARE(img.pixel(rect.Left, rect.Top + 60), qRgb(0, 0, 0));
  QCOMPARE(img.pixel(rect.Left + 40, rect.Bottom), qRgb(0, 0, 0));
  // Axis labels below the axis: something dark under the label of 1.
  const int x1 = rect.Left + Round(10 * 96 / 25.4);
  bool ink = false;
  for (int y = rect.Bottom + 8; y < rect.Bottom + 30 && !ink; ++y) {
    for (int x = x1 - 4; x <= x1 + 4; ++x) ink |= qGray(img.pixel(x, y)) < 128;
  }
  QVERIFY(ink);
}

void TGraphWidgetTest::BarThicknessAt300Dpi() {
  graph->BeginUpdate();
  graph->Clear();
  graph->AddPoint(1, Pt(0, kColorRed, 16));
  graph->AddPoint(1, Pt(5, kColorRed, 16));
  graph->EndUpdate();
  graph->SelectAll();
  QImage img = WhiteImage(1200, 400, 300);
  graph->DrawPage(&img, TDrawTarget::Bitmap, {40, 40, 1100, 300}, 1, 1, 0, 10);
  // 1.6 mm at 300 dpi is 18.9 px: 19 lines.
  QCOMPARE(CountRowsWith(img, 100, qRgb(255, 0, 0)), 19);
}

void TGraphWidgetTest::BandOrderAndBitmapSelection() {
  graph->BeginUpdate();
  graph->Clear();
  const TGraphColor colours[] = {kColorRed, kColorBlue, MakeColor(0, 200, 0)};
  for (uint16_t r = 1; r <= 3; ++r) {
    graph->AddPoint(r, Pt(0, colours[r - 1]));
    graph->AddPoint(r, Pt(10, colours[r - 1]));
  }
  graph->EndUpdate();
  QImage img = WhiteImage(600, 300, 96);
  const TGraphRect rect{20, 20, 520, 250};
  auto rowOf = [&](QRgb c) {
    for (int y = 0; y < img.height(); ++y) {
      if (img.pixel(100, y) == c) return y;
    }
    return -1;
  };
  graph->DrawPage(&img, TDrawTarget::BackBuffer, rect, 1, 3, 0, 10);
  const int y1 = rowOf(qRgb(255, 0, 0));
  const int y2 = rowOf(qRgb(0, 0, 255));
  const int y3 = rowOf(qRgb(0, 200, 0));
  QVERIFY(y1 > 0 && y1 < y2 && y2 < y3);
  QCOMPARE(y2 - y1, Round(7 * 96 / 25.4));
  // Another bitmap draws only the selected series, one after the other.
  graph->SetRowSelected(3, true);
  img = WhiteImage(600, 300, 96);
  graph->DrawPage(&img, TDrawTarget::Bitmap, rect, 1, 3, 0, 10);
  QCOMPARE(rowOf(qRgb(255, 0, 0)), -1);
  QCOMPARE(rowOf(qRgb(0, 200, 0)), y1);
}

void TGraphWidgetTest::ScreenRecordsBands() {
  Fill(5, 100);
  const TGraphModel& m = graph->Model();
  const int hb = Round(7 * m.ScreenDpiY / 25.4);
  for (uint16_t r = 1; r <= 5; ++r) {
    const TGraphRect b = m.RowBand(r);
    QCOMPARE(b.Left, graph->PlotRect().Left);
    QCOMPARE(b.Top, graph->PlotRect().Top + (r - 1) * hb);
    QCOMPARE(b.Height(), hb);
    QCOMPARE(int(graph->RowAtPoint(BandCentre(*graph, r))), int(r));
  }
  QCOMPARE(int(graph->RowAtPoint({graph->PlotRect().Left + 5, graph->PlotRect().Bottom - 2})), 0);
  QCOMPARE(int(graph->RowAtPoint({2, 2})), 0);
  // Scrolling the series: the first band is series 3.
  graph->VerticalBar()->setValue(2);
  QCOMPARE(m.RowBand(1), TGraphRect{});
  QCOMPARE(m.RowBand(3).Top, graph->PlotRect().Top);
  // The screen image carries the bars.
  const QImage& bb = graph->BackBuffer();
  QCOMPARE(bb.size(), graph->size());
  QCOMPARE(bb.pixel(graph->PlotRect().Left + 30, m.RowBand(3).Bottom - 1), qRgb(255, 0, 0));
}

void TGraphWidgetTest::CursorDragAndReadouts() {
  Fill(2, 100);
  TMarker* c1 = graph->Cursor1();
  TMarker* c2 = graph->Cursor2();
  const TGraphRect pr = graph->PlotRect();
  QCOMPARE(c1->y(), pr.Bottom + 1);
  QCOMPARE(c1->x(), pr.Left - c1->width() / 2);
  QCOMPARE(c1->Min(), graph->PixelToValue(pr.Left));
  QCOMPARE(c1->Max(), graph->PixelToValue(pr.Right));

  // Values 2.5 and 10: readouts with three decimals and ",".
  c1->SetValue(2.5);
  c2->SetValue(10);
  graph->UpdateReadout(c1);
  graph->UpdateReadout(c2);
  QCOMPARE(graph->X1Text(), QStringLiteral("2,500"));
  QCOMPARE(graph->X2Text(), QStringLiteral("10,000"));
  QCOMPARE(graph->DtText(), QStringLiteral("dt=7,500"));

  // Drag cursor 2 to the middle of the plot.
  QSignalSpy changed(c2, &TMarker::Changed);
  Mouse(c2, QEvent::MouseButtonPress, {5, 5});
  QVERIFY(c2->Dragging());
  const int target = (pr.Left + pr.Right) / 2;
  Mouse(c2, QEvent::MouseMove, c2->mapFromParent(QPoint(target, c2->y() + 5)));
  const double expected =
      (c2->Max() - c2->Min()) / (pr.Right - pr.Left) * (target - pr.Left) + c2->Min();
  QCOMPARE(c2->Value(), expected);
  QCOMPARE(c2->x(), target - c2->width() / 2);
  QCOMPARE(changed.count(), 1);
  QCOMPARE(graph->X2Text(), QString::fromStdString(CursorValueText(expected)));
  QCOMPARE(graph->DtText(), QString::fromStdString("dt=" + CursorValueText(expected - 2.5)));
  // Left of the plot: the cursor stops at left edge 0, the value keeps the last one inside.
  Mouse(c2, QEvent::MouseMove, c2->mapFromParent(QPoint(pr.Left - 30, c2->y() + 5)));
  QCOMPARE(c2->x(), 0);
  QCOMPARE(c2->Value(), expected);
  Mouse(c2, QEvent::MouseButtonRelease, {5, 5});
  QVERIFY(!c2->Dragging());
  // A scroll keeps the value; the cursor is placed for it again.
  graph->SetAutoscale(false);
  graph->SetScaleX(100);
  QCOMPARE(c2->Value(), expected);
}

void TGraphWidgetTest::ClickSelection() {
  Fill(8, 100);
  TGraphModel& m = graph->Model();
  auto selected = [&] {
    QList<int> rows;
    for (uint16_t r = 1; r <= m.SeriesCount(); ++r) {
      if (m.RowSelected(r)) rows << r;
    }
    return rows;
  };
  Click(*graph, BandCentre(*graph, 3));
  QCOMPARE(selected(), (QList<int>{3}));
  Click(*graph, BandCentre(*graph, 6), Qt::ShiftModifier);
  QCOMPARE(selected(), (QList<int>{3, 4, 5, 6}));
  Click(*graph, BandCentre(*graph, 4), Qt::ControlModifier);
  QCOMPARE(selected(), (QList<int>{3, 5, 6}));
  // Outside every band: cleared, anchor 0; Shift then selects 1 .. s.
  Click(*graph, {graph->PlotRect().Left + 5, graph->PlotRect().Bottom - 2});
  QCOMPARE(selected(), QList<int>{});
  QCOMPARE(int(m.AnchorSeries), 0);
  Click(*graph, BandCentre(*graph, 2), Qt::ShiftModifier);
  QCOMPARE(selected(), (QList<int>{2}));
  Click(*graph, BandCentre(*graph, 7));
  Click(*graph, {2, 2}, Qt::ShiftModifier);  // outside: counts as series 0
  QCOMPARE(selected(), (QList<int>{1, 2, 3, 4, 5, 6, 7}));
  // SelectAll / DeselectAll, and the marks on screen.
  graph->DeselectAll();
  QCOMPARE(selected(), QList<int>{});
  const QImage plain = graph->grab().toImage();
  graph->SelectAll();
  QCOMPARE(selected().size(), 8);
  const QImage marked = graph->grab().toImage();
  const QPoint c = BandCentre(*graph, 4);
  QVERIFY(plain.pixel(c) != marked.pixel(c));
  QCOMPARE(plain.pixel(2, 2), marked.pixel(2, 2));
  TGraph empty;
  empty.SelectAll();  // no series: nothing
  QCOMPARE(int(empty.Model().SelectedCount()), 0);
}

void TGraphWidgetTest::DragSelection() {
  Fill(8, 100);
  TGraphModel& m = graph->Model();
  Mouse(graph, QEvent::MouseButtonPress, BandCentre(*graph, 2));
  Mouse(graph, QEvent::MouseMove, BandCentre(*graph, 3));
  Mouse(graph, QEvent::MouseMove, BandCentre(*graph, 5));
  QCOMPARE(int(m.SelectedCount()), 4);
  QVERIFY(m.RowSelected(2) && m.RowSelected(5) && !m.RowSelected(6));
  // Back up: the selection shrinks with the mouse.
  Mouse(graph, QEvent::MouseMove, BandCentre(*graph, 3));
  QCOMPARE(int(m.SelectedCount()), 2);
  QCOMPARE(int(m.LastSeries), 3);
  Mouse(graph, QEvent::MouseButtonRelease, BandCentre(*graph, 3));
  // Without the button nothing changes.
  Mouse(graph, QEvent::MouseMove, BandCentre(*graph, 7), {}, false);
  QCOMPARE(int(m.SelectedCount()), 2);
}

void TGraphWidgetTest::CopyBitmapSize() {
  Fill(5, 20);
  QVERIFY(!graph->CopyToClipboard());  // nothing selected: nothing copied
  graph->SetRowSelected(1, true);
  graph->SetRowSelected(2, true);
  graph->SetRowSelected(4, true);
  QApplication::clipboard()->clear();
  QVERIFY(graph->CopyToClipboard());
  const QImage img = QApplication::clipboard()->image();
  QVERIFY(!img.isNull());
  const TGraphModel& m = graph->Model();
  const double dy = m.ScreenDpiY;
  const double dx = m.ScreenDpiX;
  QCOMPARE(img.height(), 10 + 3 * Round(7 * dy / 25.4) + Round(10 * dx / 25.4));
  // The unit text's room right of the drawing is part of the bitmap.
  QCOMPARE(img.width(),
           10 + Round(dx * 20 * 10 * graph->ScaleX() / 100.0 / 25.4) + graph->UnitRoomPx(dx));
  QVERIFY(graph->UnitRoomPx(dx) > 0);
  if (dx == 96 && dy == 96) QCOMPARE(img.height(), 126);
  // The one-pixel black frame and a white inside.
  QCOMPARE(img.pixel(0, 0), qRgb(0, 0, 0));
  QCOMPARE(img.pixel(img.width() - 1, img.height() - 1), qRgb(0, 0, 0));
  QCOMPARE(img.pixel(5, 5), qRgb(255, 255, 255));
}

void TGraphWidgetTest::CopyBetweenCursors() {
  Fill(3, 50);
  graph->SelectAll();
  graph->Model().CopyWholeRange = false;
  graph->Model().dXPerDiv = 2;  // the span stays the cursor values themselves
  graph->Cursor1()->SetValue(4);
  graph->Cursor2()->SetValue(2);
  const QImage img = graph->CopyImage();
  QVERIFY(!img.isNull());
  const double dx = graph->Model().ScreenDpiX;
  QCOMPARE(img.width(), 10 + Round(dx * (2.0 / 2 * 10 * graph->ScaleX() / 100.0) / 25.4) +
                            graph->UnitRoomPx(dx) + graph->LabelRoomPx(2, dx));
  graph->Cursor2()->SetValue(4);
  QVERIFY(graph->CopyImage().isNull());
}

void TGraphWidgetTest::CtrlCCopiesOncePerPress() {
  Fill(2, 20);
  graph->SelectAll();
  QApplication::clipboard()->clear();
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"), true);
  QApplication::sendEvent(graph, &repeat);
  QVERIFY(QApplication::clipboard()->image().isNull());
  QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier, QStringLiteral("\x03"), false);
  QApplication::sendEvent(graph, &press);
  QVERIFY(!QApplication::clipboard()->image().isNull());
}

void TGraphWidgetTest::SetupDialogOk() {
  Fill(2, 20);
  TGraphModel& m = graph->Model();
  m.MajorGridWidth = 0.35714;
  OnDialog([](TGraphSetup* d) {
    QCOMPARE(d->windowTitle(), QStringLiteral("Graph setup"));
    QCOMPARE(d->Notebook->currentIndex(), 1);
    QCOMPARE(d->TabSet->tabText(1), QStringLiteral("Auxiliary line"));
    QCOMPARE(d->Edit1->text(), QStringLiteral("0,35"));
    QCOMPARE(d->Edit2->text(), QStringLiteral("0,1"));
    QVERIFY(d->rbSelectAll->isChecked());
    d->Edit1->setText(QStringLiteral("0,2"));
    d->SpinButton1->DownButton->click();
    d->SpinButton1->DownButton->click();
    QCOMPARE(d->Edit1->text(), QStringLiteral("0"));
    d->SpinButton1->DownButton->click();
    QCOMPARE(d->Edit1->text(), QStringLiteral("-0,1"));
    d->SpinButton2->UpButton->click();
    QCOMPARE(d->Edit2->text(), QStringLiteral("0,2"));
    d->ChooseColor = [](const QColor&) { return std::optional<QColor>(QColor(10, 20, 30)); };
    d->btnColorSetup1->click();
    d->cbShowMajor->click();
    d->rbSelectMark->click();
    QTest::keyClicks(d->editdXLen, QStringLiteral("5"));  // "10" becomes "105"
    d->edit_dXPerDiv->clear();
    QTest::keyClicks(d->edit_dXPerDiv, QStringLiteral("2,5"));
    d->OKBtn->click();
  });
  QVERIFY(graph->ShowOptions());
  QCOMPARE(m.MajorGridWidth, 0.1);
  QCOMPARE(m.MinorGridWidth, 0.2);
  QCOMPARE(m.MajorGridColor, MakeColor(10, 20, 30));
  QCOMPARE(m.MinorGridColor, kColorBlue);
  QVERIFY(m.ShowMajorGrid);
  QVERIFY(!m.ShowMinorGrid);
  QVERIFY(!m.CopyWholeRange);
  QCOMPARE(int(m.dXLen), 105);
  QCOMPARE(m.dXPerDiv, 2.5);
  QCOMPARE(m.MinorGridCnt, 4);
  // The scroll bar follows the new divisions: the route's width in pixels beyond the plot.
  const double routePx = MmToPx(m.ScreenDpiX, 20 / 2.5 * 105 * graph->ScaleX() / 100.0);
  QCOMPARE(graph->HorizontalBar()->maximum(),
           std::max(0, int(std::ceil(routePx)) - graph->PlotRect().Width()));
}

void TGraphWidgetTest::SetupDialogCancel() {
  Fill(2, 20);
  TGraphModel& m = graph->Model();
  OnDialog([](TGraphSetup* d) {
    d->ChooseColor = [](const QColor&) { return std::optional<QColor>(QColor(1, 2, 3)); };
    d->btnColorSetup1->click();
    d->Button1->click();
    d->cbShowMinor->click();
    d->Edit1->setText(QStringLiteral("3"));
    d->CancelBtn->click();
  });
  QVERIFY(!graph->ShowOptions());
  QCOMPARE(m.MajorGridColor, kColorBlue);
  QCOMPARE(m.MinorGridColor, kColorBlue);
  QVERIFY(!m.ShowMinorGrid);
  QCOMPARE(m.MajorGridWidth, 0.2);
}

void TGraphWidgetTest::SetupDialogRefusesBadValues() {
  Fill(2, 20);
  TGraphModel& m = graph->Model();
  TRecordingMessages rec;
  TScopedMessageService scope(&rec);
  OnDialog([](TGraphSetup* d) {
    // Values that would make the x mapping undefined, or overflow their fields, are not
    // taken; the last valid value stays.
    d->edit_dXPerDiv->clear();
    QTest::keyClicks(d->edit_dXPerDiv, QStringLiteral("0"));
    d->editdXLen->clear();
    QTest::keyClicks(d->editdXLen, QStringLiteral("7"));
    QTest::keyClicks(d->editdXLen, QStringLiteral("0000"));  // 7000 is taken, 70000 does not fit
    d->edit_MinorGridCnt->clear();
    QTest::keyClicks(d->edit_MinorGridCnt, QStringLiteral("-3"));
    QCOMPARE(d->ValuePerDiv, 1.0);
    QCOMPARE(int(d->DivLen), 7000);
    QCOMPARE(int(d->MinorCount), 4);
    // A thickness that is not a number: OK is refused and the dialog stays open.
    d->Edit2->setText(QStringLiteral("abc"));
    d->OKBtn->click();
    QVERIFY(d->isVisible());
    d->Edit2->setText(QStringLiteral("0,3"));
    d->OKBtn->click();
  });
  QVERIFY(graph->ShowOptions());
  QCOMPARE(rec.shown.size(), size_t(1));
  QCOMPARE(rec.shown[0].text, std::string("'abc' is not a valid floating point value"));
  QCOMPARE(m.dXPerDiv, 1.0);
  QCOMPARE(int(m.dXLen), 7000);
  QCOMPARE(m.MinorGridCnt, 4);
  QCOMPARE(m.MinorGridWidth, 0.3);
}

void TGraphWidgetTest::PrintToPdf() {
  graph->SetAutoscale(false);
  Fill(30, 100);
  graph->SetScaleX(100);
  graph->Model().PrintTitle = "Sequence 1";
  QTemporaryDir dir;
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setOutputFileName(dir.filePath(QStringLiteral("g.pdf")));
  // 6 across x 2 down.
  QCOMPARE(graph->Print(20, 30, &printer), 0);  // FromPage beyond Pages: nothing
  QCOMPARE(graph->Print(10, 99, &printer), 3);  // cut to 12
  QFile f(dir.filePath(QStringLiteral("g.pdf")));
  QVERIFY(f.open(QIODevice::ReadOnly));
  const QByteArray pdf = f.readAll();
  QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 3);
}

void TGraphWidgetTest::PrintWithoutPrinter() {
  Fill(3, 10);
  TRecordingMessages rec;
  TScopedMessageService scope(&rec);
  graph->DefaultPrinterPresent = [] { return false; };
  QTemporaryDir dir;
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(dir.filePath(QStringLiteral("none.pdf")));
  QCOMPARE(graph->Print(1, 1, &printer), 0);
  QCOMPARE(rec.shown.size(), size_t(1));
  QCOMPARE(rec.shown[0].text, std::string("Brak domyślnej drukarki"));
  QCOMPARE(rec.shown[0].title, std::string("Błąd"));
  QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("none.pdf"))));
  // The PDF printer is a printer: the real probe finds one even without a system printer.
  graph->DefaultPrinterPresent = nullptr;
  TGraph other;
  QVERIFY(other.DefaultPrinterPresent && other.DefaultPrinterPresent());
}

void TGraphWidgetTest::LegendDraws() {
  ShowLegend(graph->Model());
  QCOMPARE(int(graph->SeriesCount()), 9);
  QCOMPARE(graph->Model().PrintTitle, std::string("Legend"));
  graph->resize(800, 600);
  for (uint16_t r = 1; r <= 9; ++r) QVERIFY(!graph->Model().RowBand(r).Empty());
  // Each state's colour is in its band.
  for (uint16_t r = 1; r <= 9; ++r) {
    const TGraphPoint p = graph->Model().Point(r, 1);
    if (p.Thickness == 0 || p.PenStyle != kPenSolid) continue;
    const TGraphRect b = graph->Model().RowBand(r);
    QCOMPARE(graph->BackBuffer().pixel(b.Left + 40, b.Bottom - 1), ToQColor(p.Color).rgb());
  }
}

void TGraphWidgetTest::PrintedAxisLabelsReadRight_data() {
  QTest::addColumn<double>("span");
  QTest::addColumn<bool>("decimals");
  QTest::newRow("3 minutes") << 188.4 << false;
  QTest::newRow("1.1 s") << 1.1 << true;
}

void TGraphWidgetTest::PrintedAxisLabelsReadRight() {
  // A route as the lister draws it: lead-in at -0.2, the last step 0.2 after the end.
  QFETCH(double, span);
  QFETCH(bool, decimals);
  graph->BeginUpdate();
  graph->Clear();
  for (uint16_t r = 1; r <= 3; ++r) {
    graph->AddPoint(r, Pt(-0.2, kColorRed));
    graph->AddPoint(r, Pt(span * r / 4, kColorGreen));
    graph->AddPoint(r, Pt(span + 0.2, kColorGreen));
    graph->SetRowName(r, "S" + std::to_string(r));
  }
  graph->EndUpdate();
  QVERIFY(graph->Autoscale());
  const int32_t screenScale = graph->ScaleX();
  graph->Model().PrintTitle = "Sequence 1-Route";
  QTemporaryDir dir;
  const QString file = dir.filePath(QStringLiteral("axis.pdf"));
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setOutputFileName(file);
  // Fitted: the route fits one sheet, so it prints on one, whatever the window's width.
  QCOMPARE(graph->Print(1, 99, &printer), 1);
  QCOMPARE(PdfPageCount(file), 1);
  QCOMPARE(graph->ScaleX(), screenScale);  // the window keeps its own fit

  const QList<TPdfWord> words = PdfWords(file);
  if (words.isEmpty()) QSKIP("pdftotext is not available");
  // The title sits about 8 mm (22.7 pt) below the sheet's top edge.
  bool titleFound = false;
  for (const TPdfWord& w : words) {
    if (w.text.startsWith(QStringLiteral("Sequence"))) {
      titleFound = true;
      QVERIFY2(w.yMin > 20 && w.yMin < 26, qPrintable(QString::number(w.yMin)));
    }
  }
  QVERIFY(titleFound);
  // The axis labels: the numbers on the line of the unit text.
  const auto unit = std::find_if(words.begin(), words.end(),
                                 [](const TPdfWord& w) { return w.text == QStringLiteral("[s]"); });
  QVERIFY(unit != words.end());
  QList<TPdfWord> labels;
  for (const TPdfWord& w : words) {
    bool number = false;
    QString t = w.text;
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    t.toDouble(&number);
    if (number && std::fabs(w.yMin - unit->yMin) < 1.0) labels.push_back(w);
  }
  std::sort(labels.begin(), labels.end(),
            [](const TPdfWord& a, const TPdfWord& b) { return a.xMin < b.xMin; });
  QVERIFY2(labels.size() >= 5, qPrintable(QString::number(labels.size())));
  QVERIFY(std::any_of(labels.begin(), labels.end(),
                      [](const TPdfWord& w) { return w.text == QStringLiteral("0"); }));
  bool hasDecimals = false;
  for (int i = 1; i < labels.size(); ++i) {
    QString a = labels[i - 1].text;
    QString b = labels[i].text;
    hasDecimals = hasDecimals || b.contains(QLatin1Char(','));
    QVERIFY2(labels[i - 1].xMax + 1.0 < labels[i].xMin, qPrintable(a + QLatin1Char(' ') + b));
    QVERIFY2(a.replace(QLatin1Char(','), QLatin1Char('.')).toDouble() <
                 b.replace(QLatin1Char(','), QLatin1Char('.')).toDouble(),
             qPrintable(labels[i - 1].text + QLatin1Char(' ') + labels[i].text));
  }
  QCOMPARE(hasDecimals, decimals);
  // Nothing overlaps the unit either.
  QVERIFY(labels.back().xMax < unit->xMin);
}

void TGraphWidgetTest::CopyKeepsTheUnitAndHairlines() {
  graph->SetAutoscale(false);
  Fill(2, 20);
  graph->SetScaleX(100);
  graph->SelectAll();
  graph->Cursor1()->SetValue(5);
  graph->Cursor2()->SetValue(12.5);
  const QImage img = graph->CopyImage();
  QVERIFY(!img.isNull());
  const int dpi = graph->Model().ScreenDpiX;
  const int right = 10 + ValueToPx(graph->Model().XScale(0), dpi, 20);
  QVERIFY(img.width() > right + 5);
  // The unit's right half lies beyond the drawing's right edge and inside the frame.
  const int labelTop = img.height() - Round(MmToPx(dpi, graph->Model().TitleHeight));
  int inkRight = 0;
  for (int y = labelTop; y < img.height() - 1; ++y) {
    for (int x = right + 1; x < img.width() - 1; ++x) {
      if (qGray(img.pixel(x, y)) < 128) inkRight = std::max(inkRight, x);
    }
  }
  QVERIFY2(inkRight > right, "the unit text is missing right of the drawing");
  QVERIFY2(inkRight < img.width() - 2, "the unit text touches the frame");
  // Hairlines of both cursors across the bands, each in its own colour.
  QVERIFY(graph->Cursor1()->LineColor != graph->Cursor2()->LineColor);
  for (const TMarker* m : {graph->Cursor1(), graph->Cursor2()}) {
    const int x = 10 + ValueToPx(graph->Model().XScale(0), dpi, m->Value());
    QVERIFY2(CountRowsWith(img, x, m->LineColor.rgb()) > 40, qPrintable(m->Label));
  }
}

void TGraphWidgetTest::CopyKeepsTheFirstLabelWhole() {
  // A route from its lead-in at -0,2, zoomed so that the labels step by tenths: the label
  // "-0,2" centred on the left edge keeps its minus sign, at every resolution.
  graph->SetAutoscale(false);
  graph->BeginUpdate();
  graph->Clear();
  graph->AddPoint(1, Pt(-0.2, kColorRed));
  graph->AddPoint(1, Pt(1.2, kColorGreen));
  graph->SetRowName(1, "S1");
  graph->EndUpdate();
  graph->SetScaleX(1200);
  for (const double dpi : {96.0, 150.0, 300.0}) {
    const QImage img = graph->RenderImage(-0.2, 1.2, dpi, dpi, true);
    QVERIFY(!img.isNull());
    const int drawLeft = 10 + graph->LabelRoomPx(-0.2, dpi);
    QVERIFY2(graph->LabelRoomPx(-0.2, dpi) > 0, qPrintable(QString::number(dpi)));
    const int labelTop = img.height() - Round(MmToPx(dpi, graph->Model().TitleHeight));
    int inkLeft = img.width();
    for (int y = labelTop + 1; y < img.height() - 1; ++y) {
      for (int x = 1; x < drawLeft; ++x) {
        if (qGray(img.pixel(x, y)) < 128) inkLeft = std::min(inkLeft, x);
      }
    }
    // Ink of the first label left of the axis, clear of the frame.
    QVERIFY2(inkLeft < drawLeft - 3, qPrintable(QString::number(dpi)));
    QVERIFY2(inkLeft >= 2, qPrintable(QString::number(dpi)));
  }
  // A copy starting at 0 needs no more than the margin.
  QCOMPARE(graph->LabelRoomPx(0, 96), 0);
}

void TGraphWidgetTest::ScrollingReachesEveryInstant() {
  // A route from its lead-in to 20,2 s; zoomed up to the largest scale the window offers,
  // the windows the scroll bar's positions show, page by page, leave no instant out.
  graph->SetAutoscale(false);
  Fill(3, 20.2);
  graph->Model().SetDataMinRange(-0.2);
  const TGraphRect pr = graph->PlotRect();
  QScrollBar* bar = graph->HorizontalBar();
  for (const int32_t scale : {100, 1000, 10000, 50000}) {
    graph->SetScaleX(scale);
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->pageStep(), pr.Width());
    QVERIFY(bar->singleStep() >= 1 && bar->singleStep() <= pr.Width());
    bar->setValue(0);
    QCOMPARE(graph->PixelToValue(pr.Left), -0.2);
    double reached = graph->PixelToValue(pr.Right);
    for (int pos = bar->singleStep(); pos <= bar->maximum(); pos += bar->pageStep() / 2) {
      bar->setValue(pos);
      // The next window starts inside the one before: nothing in between is skipped.
      QVERIFY2(graph->PixelToValue(pr.Left) <= reached, qPrintable(QString::number(scale)));
      reached = graph->PixelToValue(pr.Right);
    }
    bar->setValue(bar->maximum());
    QVERIFY2(graph->PixelToValue(pr.Right) >= 20.2, qPrintable(QString::number(scale)));
    // At the largest scale a window is a fraction of a tenth of a second wide.
    if (scale == 50000) QVERIFY(graph->PixelToValue(pr.Right) - graph->PixelToValue(pr.Left) < 0.1);
  }
  // A new scale keeps the instant at the left edge.
  graph->SetScaleX(1000);
  bar->setValue(bar->maximum() / 2);
  const double left = graph->PixelToValue(pr.Left);
  graph->SetScaleX(2000);
  QVERIFY(std::fabs(graph->PixelToValue(pr.Left) - left) < 0.01);
}

void TGraphWidgetTest::FitShowsTheWholeRangeFromItsStart() {
  graph->SetAutoscale(false);
  Fill(3, 20.2);
  graph->SetScaleX(5000);
  QScrollBar* bar = graph->HorizontalBar();
  bar->setValue(bar->maximum());
  const TGraphRect pr = graph->PlotRect();
  QVERIFY(graph->PixelToValue(pr.Left) > 15);
  graph->Model().SetAutoscale(true);  // as the main window's "Fit" does
  QCOMPARE(bar->value(), 0);
  QCOMPARE(graph->PixelToValue(pr.Left), graph->Model().DataMinRange());
  QVERIFY(graph->PixelToValue(pr.Right) >= graph->Model().DataMaxRange() - 0.1);
  // The fitted route is drawn across the plot, not a sliver of it.
  const QImage img = graph->BackBuffer();
  for (const int x : {pr.Left + 5, (pr.Left + pr.Right) / 2, pr.Left + pr.Width() * 9 / 10})
    QVERIFY2(CountRowsWith(img, x, ToQColor(kColorRed).rgb()) > 0, qPrintable(QString::number(x)));
}

namespace {

void Wheel(QWidget* w, QPoint pos, int notches, Qt::KeyboardModifiers mods = {}) {
  QWheelEvent e(QPointF(pos), w->mapToGlobal(QPointF(pos)), QPoint(), QPoint(0, 120 * notches),
                Qt::NoButton, mods, Qt::NoScrollPhase, false);
  QApplication::sendEvent(w, &e);
}

// A cursor's hairline sits under its value: the triangle's centre at the value's pixel.
bool CursorUnderValue(const TGraph& g, const TMarker* m) {
  return std::abs(m->x() + m->width() / 2 - g.ValueToPixel(m->Value())) <= 1;
}

}  // namespace

void TGraphWidgetTest::ZoomAndScrollLikeAViewer() {
  graph->SetAutoscale(false);
  Fill(3, 20.2);
  graph->SetScaleX(1000);
  QSignalSpy zoomed(graph, &TGraph::Zoomed);
  const TGraphRect pr = graph->PlotRect();
  QScrollBar* bar = graph->HorizontalBar();
  bar->setValue(bar->maximum() / 3);
  TMarker* c1 = graph->Cursor1();
  TMarker* c2 = graph->Cursor2();
  // Ctrl+wheel zooms in around the mouse: the instant under it stays under it.
  const int mx = pr.Left + pr.Width() * 3 / 4;
  const double under = graph->PixelToValue(mx);
  c1->SetValue(under - 0.04);
  c2->SetValue(under + 0.04);
  Wheel(graph, {mx, (pr.Top + pr.Bottom) / 2}, 2, Qt::ControlModifier);
  QCOMPARE(graph->ScaleX(), 2000);
  QVERIFY(!graph->Autoscale());
  QCOMPARE(zoomed.count(), 1);
  QVERIFY2(std::fabs(graph->PixelToValue(mx) - under) < 0.002,
           qPrintable(QString::number(graph->PixelToValue(mx) - under)));
  // The cursors keep their instants and are drawn under them.
  QCOMPARE(c1->Value(), under - 0.04);
  QCOMPARE(c2->Value(), under + 0.04);
  QVERIFY(CursorUnderValue(*graph, c1) && CursorUnderValue(*graph, c2));
  // The plain wheel scrolls and leaves the scale.
  const int pos = bar->value();
  Wheel(graph, {mx, pr.Top + 5}, -1);
  QCOMPARE(graph->ScaleX(), 2000);
  QCOMPARE(bar->value(), pos + bar->singleStep());
  Wheel(graph, {mx, pr.Top + 5}, 1);
  QCOMPARE(bar->value(), pos);
  // + and - zoom around the middle of the cursors' span when it is on screen.
  const double mid = (c1->Value() + c2->Value()) / 2;
  const int midPx = graph->ValueToPixel(mid);
  QVERIFY(midPx >= pr.Left && midPx <= pr.Right);
  QTest::keyClick(graph, Qt::Key_Plus);
  QCOMPARE(graph->ScaleX(), 4000);
  QVERIFY(std::abs(graph->ValueToPixel(mid) - midPx) <= 2);
  QVERIFY(CursorUnderValue(*graph, c1) && CursorUnderValue(*graph, c2));
  QTest::keyClick(graph, Qt::Key_Minus);
  QCOMPARE(graph->ScaleX(), 2000);
  QCOMPARE(zoomed.count(), 3);
  // Arrows scroll by a single step, Home and End go to the ends.
  const int before = bar->value();
  QTest::keyClick(graph, Qt::Key_Right);
  QCOMPARE(bar->value(), before + bar->singleStep());
  QTest::keyClick(graph, Qt::Key_Left);
  QCOMPARE(bar->value(), before);
  QTest::keyClick(graph, Qt::Key_End);
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(graph->PixelToValue(pr.Right) >= 20.2);
  QTest::keyClick(graph, Qt::Key_Home);
  QCOMPARE(graph->PixelToValue(pr.Left), graph->Model().DataMinRange());
  // Zooming out stops where the whole route fits.
  for (int i = 0; i < 20; ++i) QTest::keyClick(graph, Qt::Key_Minus);
  QCOMPARE(graph->ScaleX(), graph->FitScale());
  // And zooming in stops at the largest scale, where a millisecond spans pixels.
  for (int i = 0; i < 40; ++i) QTest::keyClick(graph, Qt::Key_Plus);
  QCOMPARE(graph->ScaleX(), kMaxZoomScaleX);
  QVERIFY(graph->PixelToValue(pr.Left + 10) - graph->PixelToValue(pr.Left) < 0.001);
}

void TGraphWidgetTest::ZoomToCursors() {
  Fill(3, 20.2);
  QVERIFY(graph->Autoscale());
  QVERIFY(!graph->ZoomToCursors());  // no cursor placed yet
  const TGraphRect pr = graph->PlotRect();
  TMarker* c1 = graph->Cursor1();
  TMarker* c2 = graph->Cursor2();
  // Cursor 2 left of cursor 1, a switching of 40 ms apart.
  c1->SetValue(11.605);
  c2->SetValue(11.565);
  QVERIFY(graph->ZoomToCursors());
  QVERIFY(!graph->Autoscale());
  const double a = graph->PixelToValue(pr.Left);
  const double b = graph->PixelToValue(pr.Right);
  QVERIFY2(a <= 11.565 && b >= 11.605, qPrintable(QString("%1 %2").arg(a).arg(b)));
  QVERIFY2(b - a < 0.06, qPrintable(QString::number(b - a)));
  QVERIFY(CursorUnderValue(*graph, c1) && CursorUnderValue(*graph, c2));
  QCOMPARE(c1->Value(), 11.605);
  QCOMPARE(c2->Value(), 11.565);
}

void TGraphWidgetTest::CursorsAreToldApart() {
  Fill(2, 10);
  TMarker* c1 = graph->Cursor1();
  TMarker* c2 = graph->Cursor2();
  QCOMPARE(c1->Label, QStringLiteral("1"));
  QCOMPARE(c2->Label, QStringLiteral("2"));
  QVERIFY(c1->LineColor != c2->LineColor);
  // Cursor 2 left of cursor 1: moving one fills all three readouts, each by its own name.
  c1->SetValue(4);
  c2->SetValue(2);
  graph->UpdateReadout(c2);
  QCOMPARE(graph->X1Text(), QStringLiteral("4,000"));
  QCOMPARE(graph->X2Text(), QStringLiteral("2,000"));
  QCOMPARE(graph->DtText(), QStringLiteral("dt=-2,000"));
  TChangesDialog dlg(graph->ChangesBetweenCursors(), c1->Value(), c2->Value());
  auto* span = dlg.findChild<QLabel*>(QStringLiteral("lbSpan"));
  QVERIFY(span != nullptr);
  QVERIFY2(span->text().startsWith(QStringLiteral("x1= 4,000   x2= 2,000")),
           qPrintable(span->text()));
  // The numbers are drawn beside the triangles on screen.
  graph->Redraw();
  const QImage shot = graph->grab().toImage();
  int ink = 0;
  for (const TMarker* m : {c1, c2}) {
    for (int y = m->y(); y < m->y() + m->height() && y < shot.height(); ++y) {
      for (int x = m->x() + m->width() + 1; x < m->x() + m->width() + 10 && x < shot.width(); ++x)
        ink += qGray(shot.pixel(x, y)) < 100;
    }
  }
  QVERIFY(ink > 4);
}

void TGraphWidgetTest::SelectionKeepsStateColours() {
  Fill(3, 10);
  graph->Model().SetRowSelected(2, true);
  graph->repaint();
  const QImage shot = graph->grab().toImage();
  const TGraphRect b = graph->Model().RowBand(2);
  QVERIFY(!b.Empty());
  // The red bar of the selected band stays red; the white around it takes the tint.
  const QColor bar = shot.pixelColor(b.Left + 30, b.Bottom - 2);
  QVERIFY2(bar.red() > 150 && bar.green() < 80 && bar.blue() < 80, qPrintable(bar.name()));
  const QColor back = shot.pixelColor(b.Left + 30, b.Top + 2);
  QVERIFY(back != QColor(Qt::white));
  QVERIFY(back.lightness() > 150);
  // An unselected band is untouched.
  const TGraphRect u = graph->Model().RowBand(1);
  QCOMPARE(shot.pixelColor(u.Left + 30, u.Top + 2), QColor(Qt::white));
}

void TGraphWidgetTest::ShiftSnapsCursorToAChange() {
  graph->SetAutoscale(false);
  graph->BeginUpdate();
  graph->Clear();
  graph->AddPoint(1, Pt(0, kColorRed));
  graph->AddPoint(1, Pt(3.217, kColorGreen));
  graph->AddPoint(1, Pt(10, kColorGreen));
  graph->EndUpdate();
  graph->SetScaleX(100);
  TMarker* m = graph->Cursor1();
  const TGraphRect& pr = graph->PlotRect();
  const int changeX =
      pr.Left + ValueToPx(graph->Model().XScale(0), graph->Model().ScreenDpiX, 3.217);
  auto drag = [&](int x, Qt::KeyboardModifiers mods) {
    Mouse(m, QEvent::MouseButtonPress, QPoint(5, 5));
    const QPoint local = m->mapFromParent(QPoint(x, m->y() + 5));
    Mouse(m, QEvent::MouseMove, local, mods);
    Mouse(m, QEvent::MouseButtonRelease, local, mods);
  };
  // Without Shift the cursor takes the mouse's value; with Shift the change's own time.
  drag(changeX + 3, {});
  QVERIFY(std::fabs(m->Value() - 3.217) > 1e-6);
  drag(changeX + 3, Qt::ShiftModifier);
  QCOMPARE(m->Value(), 3.217);
  QCOMPARE(graph->X1Text(), QStringLiteral("3,217"));
  // Too far from any change: no snap.
  drag(changeX + 40, Qt::ShiftModifier);
  QVERIFY(std::fabs(m->Value() - 3.217) > 0.1);
}

void TGraphWidgetTest::ChangesBetweenCursorsDialog() {
  Fill(2, 10);
  graph->Cursor1()->SetValue(-1);
  graph->Cursor2()->SetValue(5);
  // Red from 0, green from 10: the change lies beyond the second cursor.
  QCOMPARE(graph->ChangesBetweenCursors().size(), size_t(0));
  graph->Clear();
  graph->AddPoint(1, Pt(0, kColorRed));
  graph->AddPoint(1, Pt(2, kColorGreen));
  graph->AddPoint(1, Pt(4.5, kColorRed));
  graph->AddPoint(1, Pt(10, kColorRed));
  graph->SetRowName(1, "CA State");
  TChangesDialog dlg(graph->ChangesBetweenCursors(), graph->Cursor1()->Value(),
                     graph->Cursor2()->Value());
  QCOMPARE(dlg.Table()->rowCount(), 2);
  QCOMPARE(dlg.Table()->item(1, 3)->text(), QStringLiteral("2,500"));
  dlg.CopyToClipboard();
  const QString text = QGuiApplication::clipboard()->text();
  QCOMPARE(text.count(QLatin1Char('\n')), 3);
  QVERIFY(text.contains(QStringLiteral("2,000\t1. CA State\t")));
}

QTEST_MAIN(TGraphWidgetTest)
#include "qtest_graphwidget.moc"
