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
  if (y_ > box_.Top && y_ + h > box_.Bottom) {
    session_.NewPage();
    if (Aborted()) {
      painter_->setFont(previous);
      return;
    }
    y_ = box_.Top;
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

// One sheet of the grid: rows r1..r2, columns c1..c2.
void PrintPage(QPainter& p, const TGridPageBox& box, const TGridTable& table,
               const std::vector<int32_t>& widths, const std::vector<int32_t>& heights,
               const TPageSpan& rows, const TPageSpan& cols, const QString& title,
               const QString& footer, int cw, int ch) {
  auto centred = [&](const QString& s, int y) {
    TextOut(p, box.Left + (box.Right - box.Left - static_cast<int>(s.size()) * cw) / 2, y, s);
  };
  centred(title, box.Top - 2 * ch);
  int y = box.Top;
  for (int r = rows.First; r <= rows.Last; ++r) {
    const int h = heights[static_cast<size_t>(r)];
    int x = box.Left;
    for (int c = cols.First; c <= cols.Last; ++c) {
      const int w = widths[static_cast<size_t>(c)];
      if (w != 0 && h != 0) {
        p.setBrush(Qt::NoBrush);
        p.drawRect(x, y, w, h);
        TextOut(p, x + 2 * box.Pen, y + 2 * box.Pen, QString::fromStdString(table.Text(r, c)));
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
  const std::vector<TPageSpan> across = PackPages(widths, box.Left, box.Right);
  const std::vector<TPageSpan> down = PackPages(heights, box.Top, box.Bottom);
  if (across.empty() || down.empty()) return 0;

  QPainter* p = session.BeginJob(title);
  if (!p) return 0;
  p->setPen(QPen(Qt::black, box.Pen, Qt::SolidLine));
  p->setFont(PrinterFont(font, screenDpiY));
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
