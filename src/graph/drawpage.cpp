// DrawPage: the one drawing routine of the graph for the back buffer, another bitmap and
// the printer. Everything is measured in millimetres and converted with the target's
// own resolution, so all three show the same proportions.
#include <QCoreApplication>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QPainter>
#include <QPrinter>
#include <algorithm>

#include "graph.h"
#include "markers.h"
#include "messages.h"

namespace {

Qt::PenStyle ToQtPenStyle(uint8_t Style) {
  switch (Style) {
    case 1:
      return Qt::DashLine;
    case 2:
      return Qt::DotLine;
    case 3:
      return Qt::DashDotLine;
    case 4:
      return Qt::DashDotDotLine;
    case 5:
      return Qt::NoPen;
    default:
      return Qt::SolidLine;
  }
}

int Px(double Dpi, double Mm) {
  return RoundHalfEvenInt(MmToPx(Dpi, Mm));
}

// The drawing context of one DrawPage call.
struct TContext {
  QPainter* P = nullptr;
  TDrawTarget Target = TDrawTarget::BackBuffer;
  QPrinter* Printer = nullptr;
  double ResX = 96;
  double ResY = 96;
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int W = 0;
  int H = 0;
  int CharW = 0;
  int CharH = 0;
  int Ascent = 0;
  int MajorW = 0;
  int MinorW = 0;
  int Mm1 = 0;
  int Band = 0;
  double X0 = 0;
  double X1 = 0;

  bool Aborted() const {
    return Printer != nullptr && Printer->printerState() == QPrinter::Aborted;
  }

  void SetPen(const QColor& C, int Width, Qt::PenStyle Style) {
    QPen pen(C, Width, Style, Qt::FlatCap, Qt::MiterJoin);
    P->setPen(pen);
  }

  // A line as the platform's drawing draws it: with flat caps the end point itself is
  // not painted, so bars meeting at a point do not overlap.
  void Line(int XA, int YA, int XB, int YB) {
    if (P->pen().style() == Qt::NoPen || (XA == XB && YA == YB)) return;
    P->drawLine(XA, YA, XB, YB);
  }

  // The clipped line of the axes and grid: offsets relative to Left and Top.
  void ClippedLine(int XA, int YA, int XB, int YB, const QColor& C, int Width, Qt::PenStyle Style) {
    if (Left + XA > Right || Left + XB > Right || (XA < 0 && XB < 0)) return;
    SetPen(C, Width, Style);
    Line(Left + XA, Top + YA, Left + XB, Top + YB);
  }

  // Text with its top-left corner at (X, Y), as the platform's text output places it.
  void TextOut(int X, int Y, const QString& Text) { P->drawText(X, Y + Ascent, Text); }
};

// A fitted graph is fitted to the paper for a printout and to the window again after.
class TPaperScale {
 public:
  explicit TPaperScale(TGraphModel& Model)
      : m_(Model), saved_(Model.ScaleX()), active_(Model.Autoscale()), locked_(Model.Locked()) {
    if (!active_) return;
    if (!locked_) m_.BeginUpdate();
    m_.SetScaleX(PaperFitScale(m_.PrintMin(), m_.PrintMax(),
                               UsableWidthMm(m_.PaperWidth, m_.MarginLeft, m_.MarginRight),
                               m_.dXPerDiv, m_.dXLen, saved_));
  }
  ~TPaperScale() {
    if (!active_) return;
    m_.SetScaleX(saved_);
    if (!locked_) m_.EndUpdate();
  }
  TPaperScale(const TPaperScale&) = delete;
  TPaperScale& operator=(const TPaperScale&) = delete;

 private:
  TGraphModel& m_;
  int32_t saved_;
  bool active_;
  bool locked_;
};

}  // namespace

void TGraph::DrawPage(QPaintDevice* Device, TDrawTarget Target, const TGraphRect& Rect,
                      uint16_t First, uint16_t Last, double X0, double X1) {
  if (Device == nullptr) return;
  QPainter p;
  if (!p.begin(Device)) return;
  DrawPage(p, Target, Rect, First, Last, X0, X1);
  p.end();
}

void TGraph::DrawPage(QPainter& Painter, TDrawTarget Target, const TGraphRect& Rect, uint16_t First,
                      uint16_t Last, double X0, double X1) {
  QPaintDevice* device = Painter.device();
  if (device == nullptr || !Painter.isActive()) return;

  TContext c;
  c.P = &Painter;
  c.Target = Target;
  if (Target == TDrawTarget::Printer) c.Printer = dynamic_cast<QPrinter*>(device);
  c.ResX = device->logicalDpiX();
  c.ResY = device->logicalDpiY();
  if (!(c.ResX > 0) || !(c.ResY > 0)) return;
  c.X0 = X0;
  c.X1 = X1;
  const TGraphModel& m = model_;

  if (Target == TDrawTarget::Printer) {
    double heights = 0;
    for (uint32_t r = First; r <= Last; ++r) heights += m.SeriesHeightMm(static_cast<uint16_t>(r));
    c.Left = Px(c.ResX, m.MarginLeft);
    c.Right = Px(c.ResX, static_cast<double>(m.PaperWidth) - m.MarginRight);
    c.Top = Px(c.ResY, m.MarginTop);
    c.Bottom = Px(c.ResY, heights + m.MarginTop) + Px(c.ResY, m.TitleHeight);
  } else {
    c.Left = Rect.Left;
    c.Top = Rect.Top;
    c.Right = Rect.Right;
    c.Bottom = Rect.Bottom;
  }
  c.W = c.Right - c.Left;
  c.H = c.Bottom - c.Top;
  Painter.setFont(font_);
  const QFontMetrics fm(font_, device);
  c.CharW = fm.horizontalAdvance(QLatin1Char('A'));
  c.CharH = fm.height();
  c.Ascent = fm.ascent();
  c.MajorW = Px(c.ResY, m.MajorGridWidth);
  c.MinorW = Px(c.ResY, m.MinorGridWidth);
  c.Mm1 = Px(c.ResY, 1.0);
  c.Band = 0;
  Painter.setRenderHint(QPainter::Antialiasing, false);
  Painter.setBackgroundMode(Qt::TransparentMode);

  // --- axes and grid ---
  const QString unit = QString::fromStdString(m.AxisUnit());
  const QColor black(Qt::black);
  c.ClippedLine(0, 0, 0, c.H, black, c.MajorW, Qt::SolidLine);
  c.ClippedLine(0, c.H, c.W, c.H, black, c.MajorW, Qt::SolidLine);
  const int labelY = c.Bottom + (5 * c.Mm1) / 2;
  const int unitX = c.Right - fm.horizontalAdvance(unit) / 2;
  Painter.setPen(black);
  if (!unit.isEmpty()) c.TextOut(unitX, labelY, unit);

  // Labels measured with the target's own font metrics, so they never touch on any device;
  // the ticks and grid lines follow the step they chose.
  const TXScale xs = m.XScale(X0);
  const TAxisLabels labels = ChooseAxisLabels(
      xs, c.ResX, X1, c.Left, unit.isEmpty() ? c.Right + c.W : unitX, c.CharW,
      [&fm](const std::string& t) {
        return static_cast<int32_t>(fm.horizontalAdvance(QString::fromStdString(t)));
      });
  const bool minorsFit = MinorTicksFit(xs, labels.Step, m.MinorGridCnt);
  const std::vector<TGridLine> grid = GridPositions(xs, labels.Step, m.MinorGridCnt, c.ResX, X1);
  const Qt::PenStyle gridStyle = ToQtPenStyle(m.GridLineStyle);
  for (const TGridLine& g : grid) {
    if (c.Aborted()) break;
    if (g.Major) {
      if (m.ShowMajorGrid) {
        c.ClippedLine(g.Px, 0, g.Px, c.H, ToQColor(m.MajorGridColor), c.MajorW, gridStyle);
      }
      c.ClippedLine(g.Px, c.H, g.Px, c.H + 2 * c.Mm1, black, c.MajorW, Qt::SolidLine);
    } else if (minorsFit) {
      // Minor ticks and lines both only where they stay apart: closer, they merge into a
      // solid bar (and a grid line every other pixel hides the bars behind it).
      c.ClippedLine(g.Px, c.H, g.Px, c.H + c.Mm1, black, c.MajorW, Qt::SolidLine);
      if (m.ShowMinorGrid) {
        c.ClippedLine(g.Px, 0, g.Px, c.H, ToQColor(m.MinorGridColor), c.MajorW, gridStyle);
      }
    }
  }
  Painter.setPen(black);
  for (const TAxisLabel& l : labels.Labels) c.TextOut(l.X, labelY, QString::fromStdString(l.Text));
  if (Target == TDrawTarget::Printer) {
    // In millimetres from the sheet's top edge, clear of any printer's unprintable strip.
    Painter.setPen(black);
    c.TextOut(c.Left, Px(c.ResY, kPrintTitleTopMm), QString::fromStdString(m.PrintTitle));
    DrawSheetNotes(Painter, c.Left, c.Right, Px(c.ResY, kPrintTitleTopMm),
                   labelY + c.CharH + 2 * c.Mm1);
  }

  // --- series bands ---
  const uint16_t count = m.SeriesCount();
  for (uint32_t rr = First; rr <= Last && rr <= count; ++rr) {
    const auto r = static_cast<uint16_t>(rr);
    if (Target == TDrawTarget::Bitmap && !m.RowSelected(r)) continue;
    const uint16_t n = m.PointCount(r);
    uint16_t k = m.LastPointAtOrBefore(r, X0);
    const int hb = Px(c.ResY, m.SeriesHeightMm(r));
    if (hb == 0) continue;
    if (Target == TDrawTarget::BackBuffer) {
      if (c.Top + c.Band < c.Bottom) {
        model_.SetRowBand(
            r, {c.Left, c.Top + c.Band, c.Right, std::min(c.Bottom, c.Top + c.Band + hb)});
      }
      if (c.Top + c.Band + hb > c.Bottom) c.Band += hb;
    }
    if (c.Top + c.Band + hb > c.Bottom || n == 0 || k == 0) continue;

    TGraphPoint prev = m.Point(r, k);
    Painter.setPen(black);
    c.TextOut(c.Left + 2 * c.CharW, c.Top + c.Band + c.CharH / 3,
              QString::fromStdString(m.GetRowName(r)));
    c.SetPen(black, c.MinorW, Qt::SolidLine);
    c.Line(c.Left, c.Top + c.Band + hb, c.Right, c.Top + c.Band + hb);

    int xa = ValueToPx(xs, c.ResX, prev.X);
    while (k < n && prev.X < X1) {
      ++k;
      const TGraphPoint cur = m.Point(r, k);
      const int xb = ValueToPx(xs, c.ResX, cur.X);
      // The bar of the previous point: its lowest rows of the band, above the separator.
      const int lines = Px(c.ResX, prev.Thickness / 10.0);
      if (!((xa < 0 && xb < 0) || (xa > c.W && xb > c.W))) {
        const int a = std::clamp(xa, 0, std::max(0, c.W));
        const int e = std::clamp(xb, 0, std::max(0, c.W));
        const Qt::PenStyle style = ToQtPenStyle(prev.PenStyle);
        if (style == Qt::SolidLine) {
          // The same pixels as the lines of a solid bar (a flat-capped line leaves its end
          // point out), filled at once: a long sequence has thousands of bars.
          if (e > a && lines > 0) {
            Painter.fillRect(c.Left + a, c.Top + c.Band + hb - lines, e - a, lines,
                             ToQColor(prev.Color));
          }
        } else {
          c.SetPen(ToQColor(prev.Color), 1, style);
          for (int i = lines; i >= 1; --i) {
            const int y = c.Top + c.Band + hb - lines + i - 1;
            c.Line(c.Left + a, y, c.Left + e, y);
          }
        }
      }
      prev = cur;
      xa = xb;
    }
    c.Band += hb;
  }

  // --- cursor hairlines (the screen draws its own over the window, so a drag is cheap) ---
  if (Target != TDrawTarget::BackBuffer) {
    const int width = std::max(1, Px(c.ResX, kHairlineMm));
    for (const TMarker* cursor : {cursor1_, cursor2_}) {
      if (!cursor->Placed()) continue;
      const double v = cursor->Value();
      if (!(v >= X0 && v <= X1)) continue;
      const int x = ValueToPx(xs, c.ResX, v);
      if (x < 0 || x > c.W) continue;
      c.SetPen(cursor->LineColor, width, Qt::SolidLine);
      c.Line(c.Left + x, c.Top, c.Left + x, c.Bottom);
      c.TextOut(c.Left + x + c.CharW / 2, c.Bottom - c.CharH, cursor->Label);
    }
  }
}

void TGraph::DrawSheetNotes(QPainter& P, int Left, int Right, int TitleTop, int LegendTop) const {
  QPaintDevice* device = P.device();
  const double resX = device->logicalDpiX();
  const QFontMetrics fm(P.font(), device);
  P.setPen(Qt::black);
  // The sheet's place in the printout at the right, the sequence's date and time left of it,
  // so a loose sheet still says what it shows.
  QString heading = QString::fromStdString(PrintDateTime);
  if (printSheets_ > 0) {
    const QString sheet = QStringLiteral("sheet %1 of %2").arg(printSheet_).arg(printSheets_);
    heading = heading.isEmpty() ? sheet : heading + QStringLiteral("    ") + sheet;
  }
  if (!heading.isEmpty())
    P.drawText(Right - fm.horizontalAdvance(heading), TitleTop + fm.ascent(), heading);
  if (PrintLegend.empty()) return;
  // Each state's bar and name, one after another, wrapped at the right margin.
  const int swatch = Px(resX, 8.0);
  const int gap = Px(resX, 2.0);
  const int lineH = std::max(fm.height(), Px(device->logicalDpiY(), 5.0));
  int x = Left;
  int y = LegendTop;
  for (const TLegendEntry& e : PrintLegend) {
    const QString name = QString::fromStdString(e.Name);
    const int w = swatch + gap + fm.horizontalAdvance(name) + 2 * gap;
    if (x > Left && x + w > Right) {
      x = Left;
      y += lineH;
    }
    const int lines = std::max(1, Px(resX, e.Bar.Thickness / 10.0));
    const int base = y + fm.ascent();
    const Qt::PenStyle style = ToQtPenStyle(e.Bar.PenStyle);
    if (style == Qt::SolidLine) {
      P.fillRect(x, base - lines, swatch, lines, ToQColor(e.Bar.Color));
    } else if (style != Qt::NoPen) {
      P.setPen(QPen(ToQColor(e.Bar.Color), 1, style, Qt::FlatCap));
      for (int i = 0; i < lines; ++i) P.drawLine(x, base - 1 - i, x + swatch, base - 1 - i);
      P.setPen(Qt::black);
    }
    P.drawText(x + swatch + gap, base, name);
    x += w;
  }
}

int TGraph::Print(int FromPage, int ToPage, QPrinter* Target) {
  if (Target == nullptr) return 0;
  UpdatePaperSize(Target);
  int32_t pages = 0;
  {
    const TPaperScale paperScale(model_);
    pages = model_.Pages();
  }
  if (FromPage < 1) FromPage = 1;
  if (FromPage > pages) return 0;
  ToPage = std::min(ToPage, pages);
  if (ToPage < FromPage) return 0;

  if (!(DefaultPrinterPresent && DefaultPrinterPresent())) {
    Messages().Show(MsgIcon::Error, "Błąd", "Brak domyślnej drukarki");
    return 0;
  }
  Target->setFullPage(true);
  Target->setDocName(QString::fromStdString(model_.PrintTitle));
  QPainter painter;
  if (!painter.begin(Target)) return 0;
  const int printed = PrintOn(painter, Target, FromPage, ToPage);
  painter.end();
  return printed;
}

int TGraph::PrintOn(QPainter& Painter, QPrinter* Target, int FromPage, int ToPage,
                    const std::function<void()>& NewPage, const std::function<bool()>& Aborted) {
  if (Target == nullptr) return 0;
  UpdatePaperSize(Target);
  const TPaperScale paperScale(model_);
  const int32_t pages = model_.Pages();
  const int32_t across = model_.HorizontalPages();
  if (FromPage < 1) FromPage = 1;
  if (FromPage > pages) return 0;
  ToPage = std::min(ToPage, pages);
  if (ToPage < FromPage) return 0;
  const double span = model_.PageSpanX();

  int printed = 0;
  int page = 0;
  int part = across;
  int band = 0;
  double x = model_.PrintMin();
  TVerticalSplit split;
  while (page < ToPage) {
    ++page;
    ++part;
    if (part > across) {
      part = 1;
      ++band;
      split = model_.SplitForPage(band);
      x = model_.PrintMin();
    }
    if (page >= FromPage && page <= ToPage) {
      printSheet_ = page;
      printSheets_ = pages;
      DrawPage(Painter, TDrawTarget::Printer, {}, split.First, split.Last, x, x + span);
      ++printed;
      if (page < ToPage) {
        if (NewPage) {
          NewPage();
        } else {
          Target->newPage();
        }
      }
    }
    x += span;
    QCoreApplication::processEvents();
    if (Target->printerState() == QPrinter::Aborted) break;
    if (Aborted && Aborted()) break;
  }
  printSheet_ = printSheets_ = 0;
  return printed;
}
