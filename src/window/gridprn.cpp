#include "gridprn.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QPen>
#include <QPrinter>

#include "graphmodel.h"

namespace {

// Text placed by its top left corner, as the printer's text output places it.
void TextOut(QPainter& p, int x, int y, const QString& s) {
  p.drawText(x, y + QFontMetrics(p.font(), p.device()).ascent(), s);
}

TGridPageBox BoxOf(const QPaintDevice& d) {
  return GridPageBox(d.logicalDpiX(), d.logicalDpiY(), d.widthMM(), d.heightMM());
}

}  // namespace

// ---------------------------------------------------------------------------
// TPrintSession

TPrintSession::TPrintSession(QPrinter& printer)
    : printer_(printer),
      oneDocument_(printer.outputFormat() == QPrinter::PdfFormat ||
                   !printer.outputFileName().isEmpty()) {
  // The printouts place everything from the paper's corner themselves.
  printer_.setFullPage(true);
}

TPrintSession::~TPrintSession() {
  Finish();
}

QPainter* TPrintSession::BeginJob(const QString& title) {
  if (finished_ || Aborted()) return nullptr;
  if (inJob_) EndJob();
  if (!painter_.isActive()) {
    printer_.setDocName(title);
    if (!painter_.begin(&printer_)) return nullptr;
  } else {
    printer_.newPage();
  }
  inJob_ = true;
  painter_.save();
  ++sheets_;
  if (OnSheet) OnSheet(sheets_);
  return &painter_;
}

void TPrintSession::NewPage() {
  if (!inJob_ || Aborted()) return;
  printer_.newPage();
  ++sheets_;
  if (OnSheet) OnSheet(sheets_);
}

void TPrintSession::EndJob() {
  if (!inJob_) return;
  inJob_ = false;
  painter_.restore();
  if (!oneDocument_) painter_.end();
}

void TPrintSession::Finish() {
  if (finished_) return;
  EndJob();
  if (painter_.isActive()) painter_.end();
  finished_ = true;
}

bool TPrintSession::Aborted() const {
  return aborted_ || printer_.printerState() == QPrinter::Aborted;
}

void TPrintSession::Abort() {
  aborted_ = true;
  if (painter_.isActive()) printer_.abort();
}

// ---------------------------------------------------------------------------
// TPrinterTextJob

void TPrinterTextJob::Begin(const std::string& title) {
  painter_ = session_.BeginJob(QString::fromStdString(title));
  if (!painter_) return;
  box_ = BoxOf(*painter_->device());
  painter_->setFont(font_);
  painter_->setPen(Qt::black);
  y_ = box_.Top;
}

bool TPrinterTextJob::Aborted() const {
  return painter_ == nullptr || session_.Aborted();
}

void TPrinterTextJob::PrintLine(const std::string& line, bool bold) {
  if (Aborted()) return;
  const QFont previous = painter_->font();
  QFont f = previous;
  f.setBold(bold);
  painter_->setFont(f);
  const int h = QFontMetrics(f, painter_->device()).lineSpacing();
  if (lines_ == 0) {
    header_ = line;
    headerBold_ = bold;
  }
  if (y_ > box_.Top && y_ + h > box_.Bottom) {
    session_.NewPage();
    if (Aborted()) {
      painter_->setFont(previous);
      return;
    }
    y_ = box_.Top;
    // A continuation sheet says which sequence it continues.
    QFont hf = previous;
    hf.setBold(headerBold_);
    painter_->setFont(hf);
    TextOut(*painter_, box_.Left, y_, QString::fromStdString(header_));
    y_ += QFontMetrics(hf, painter_->device()).lineSpacing();
    painter_->setFont(f);
  }
  TextOut(*painter_, box_.Left, y_, QString::fromStdString(line));
  y_ += h;
  ++lines_;
  painter_->setFont(previous);
}

void TPrinterTextJob::End() {
  if (painter_) session_.EndJob();
  painter_ = nullptr;
}

// ---------------------------------------------------------------------------
// Grid

QFont PrinterFont(const QFont& screenFont, double screenDpi) {
  QFont f = screenFont;
  if (screenFont.pixelSize() > 0 && screenDpi > 0) {
    f.setPointSizeF(screenFont.pixelSize() * 72.0 / screenDpi);
  }
  return f;
}

namespace {

// One sheet of the grid: rows r1..r2 and the sheet's columns. Every cell's text stays in
// its cell: names are elided with "…", values (whose columns were widened to hold them)
// are only clipped should one still be wider than a whole sheet.
void PrintPage(QPainter& p, const TGridPageBox& box, const TGridTable& table,
               const std::vector<int32_t>& widths, const std::vector<int32_t>& heights,
               const TPageSpan& rows, const TColumnPage& cols, const QString& title,
               const QString& footer, int cw, int ch) {
  const QFontMetrics fm(p.font(), p.device());
  const TTextWidth measure = [&fm](const std::string& t) {
    return static_cast<int32_t>(fm.horizontalAdvance(QString::fromStdString(t)));
  };
  auto centred = [&](const QString& s, int y) {
    TextOut(p, box.Left + (box.Right - box.Left - static_cast<int>(s.size()) * cw) / 2, y, s);
  };
  centred(title, box.Top - 2 * ch);
  const int inset = 2 * box.Pen;
  int y = box.Top;
  for (int r = rows.First; r <= rows.Last; ++r) {
    const int h = heights[static_cast<size_t>(r)];
    int x = box.Left;
    for (size_t k = 0; k < cols.Columns.size(); ++k) {
      const int c = cols.Columns[k];
      const int w = (k == 0 && cols.Repeated) ? cols.RepeatedWidth : widths[static_cast<size_t>(c)];
      if (w != 0 && h != 0) {
        p.setBrush(Qt::NoBrush);
        p.drawRect(x, y, w, h);
        const std::string& text = table.Text(r, c);
        if (!text.empty()) {
          const std::string shown =
              table.IsValueCol(c) ? text : ElideText(text, std::max(0, w - 2 * inset), measure);
          p.save();
          p.setClipRect(x, y, w, h);
          TextOut(p, x + inset, y + inset, QString::fromStdString(shown));
          p.restore();
        }
      }
      x += w;
    }
    y += h;
  }
  centred(footer, y + ch);
}

}  // namespace

int PrintGrid(TPrintSession& session, const TGridTable& table, const QFont& font, double screenDpiX,
              double screenDpiY, const QString& title) {
  const QPaintDevice& device = session.Printer();
  const TGridPageBox box = BoxOf(device);
  std::vector<int32_t> widths;
  std::vector<int32_t> heights;
  for (int32_t w : table.ColWidths) {
    widths.push_back(ScreenToPrinter(w, screenDpiX, device.logicalDpiX(), 1.2));
  }
  for (int32_t h : table.RowHeights) {
    heights.push_back(ScreenToPrinter(h, screenDpiY, device.logicalDpiY(), 1.0));
  }
  // Trailing empty rows are not printed.
  heights.resize(
      static_cast<size_t>(std::min<int>(PrintedRowCount(table), static_cast<int>(heights.size()))));
  // Values are never cut: their columns grow to hold the widest one.
  const QFont printerFont = PrinterFont(font, screenDpiY);
  {
    const QFontMetrics measureFm(printerFont, &device);
    widths = WidenValueColumns(
        widths, table,
        [&measureFm](const std::string& t) {
          return static_cast<int32_t>(measureFm.horizontalAdvance(QString::fromStdString(t)));
        },
        2 * box.Pen);
  }
  const std::vector<TColumnPage> across = ColumnPages(widths, box.Left, box.Right);
  const std::vector<TPageSpan> down = PackPages(heights, box.Top, box.Bottom);
  if (across.empty() || down.empty()) return 0;

  QPainter* p = session.BeginJob(title);
  if (!p) return 0;
  p->setPen(QPen(Qt::black, box.Pen, Qt::SolidLine));
  p->setFont(printerFont);
  p->setBackgroundMode(Qt::TransparentMode);
  const QFontMetrics fm(p->font(), p->device());
  const int cw = fm.horizontalAdvance('A');
  const int ch = fm.height();
  const int px = static_cast<int>(across.size());
  const int py = static_cast<int>(down.size());
  int printed = 0;
  for (int y = 1; y <= py && !session.Aborted(); ++y) {
    for (int x = 1; x <= px && !session.Aborted(); ++x) {
      PrintPage(*p, box, table, widths, heights, down[static_cast<size_t>(y - 1)],
                across[static_cast<size_t>(x - 1)], title,
                QString::fromStdString(GridPageFooter(y, x, px)), cw, ch);
      ++printed;
      if (!(x == px && y == py)) session.NewPage();
      QCoreApplication::processEvents();
    }
  }
  session.EndJob();
  return printed;
}
