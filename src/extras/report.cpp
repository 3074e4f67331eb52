#include "report.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

#include "gridprn.h"
#include "kivbase.h"
#include "kivdate.h"
#include "kivfiles.h"
#include "printfile.h"
#include "printing.h"
#include "printlayout.h"
#include "settingsdiff.h"

namespace {

std::string DateText(double days) {
  return days == 0 ? "never" : DateTimeToStr(days);
}

std::string TypeText(TKivType t) {
  if (t == kivtKivs2) return "KIVS-2";
  if (t == kivtKivs3) return "KIVS-3";
  return "unknown";
}

// Lines and table rows going down the sheets of one printout, with a margin all round.
class TSheetWriter {
 public:
  explicit TSheetWriter(TPrintSession& session) : session_(session) {
    QPrinter& printer = session.Printer();
    const double dpi = printer.resolution();
    margin_ = static_cast<int>(15.0 / 25.4 * dpi);
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    width_ = page.width() - 2 * margin_;
    bottom_ = page.height() - margin_;
    painter_ = session.BeginJob("Service report");
    y_ = margin_;
    sheets_ = painter_ != nullptr ? 1 : 0;
  }
  bool Ok() const { return painter_ != nullptr; }
  int Sheets() const { return sheets_; }
  int Width() const { return width_; }

  void Text(const QString& text, const QFont& font) {
    painter_->setFont(font);
    const QFontMetrics fm(font, &session_.Printer());
    Room(fm.height());
    painter_->drawText(margin_, y_ + fm.ascent(), text);
    y_ += fm.height();
  }
  void Gap(const QFont& font) { y_ += QFontMetrics(font, &session_.Printer()).height() / 2; }

  // A row of cells at the given column widths (fractions of the width); shaded rows get a
  // grey band behind them.
  void Row(const std::vector<QString>& cells, const std::vector<double>& widths, const QFont& font,
           bool shaded) {
    painter_->setFont(font);
    const QFontMetrics fm(font, &session_.Printer());
    const int h = fm.height() + fm.height() / 4;
    if (Room(h) && header_) header_();
    painter_->setFont(font);
    if (shaded) painter_->fillRect(margin_, y_, width_, h, QColor(220, 220, 220));
    int x = margin_;
    for (size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
      const int w = static_cast<int>(widths[i] * width_);
      const QString t = fm.elidedText(cells[i], Qt::ElideRight, w - fm.averageCharWidth());
      painter_->drawText(x, y_ + fm.ascent() + fm.height() / 8, t);
      x += w;
    }
    y_ += h;
  }
  void SetHeader(std::function<void()> header) { header_ = std::move(header); }
  void End() {
    if (painter_ != nullptr) session_.EndJob();
    painter_ = nullptr;
  }

 private:
  // Starts a new sheet when h does not fit; true when it did.
  bool Room(int h) {
    if (y_ + h <= bottom_) return false;
    session_.NewPage();
    ++sheets_;
    y_ = margin_;
    return true;
  }

  TPrintSession& session_;
  QPainter* painter_ = nullptr;
  std::function<void()> header_;
  int margin_ = 0;
  int width_ = 0;
  int bottom_ = 0;
  int y_ = 0;
  int sheets_ = 0;
};

}  // namespace

std::vector<std::pair<std::string, std::string>> ReportHeaderLines(const TKiv& kiv,
                                                                   const std::string& fileName) {
  std::vector<std::pair<std::string, std::string>> lines = {
      {"File", fileName},
      {"Identification", kiv.Identification()},
      {"Device type", TypeText(kiv.GetKivType())},
      {"Station", kiv.StationInfo()},
      {"Definitions", kiv.Defs.LoadedFile},
      {"Created", DateText(kiv.CreateDate())},
      {"Events read", DateText(kiv.EventsReadDate())},
      {"Parset 1 read", DateText(kiv.Zestaw1ReadDate())},
      {"Parset 2 read", DateText(kiv.Zestaw2ReadDate())},
      {"Report made", DateTimeToStr(NowDays())},
  };
  std::vector<std::string> note;
  NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, note);
  for (size_t i = 0; i < note.size(); ++i) lines.emplace_back(i == 0 ? "Note" : "", note[i]);
  return lines;
}

TReportResult PrintServiceReport(IPrintSource& source, const TKiv& kiv, TPrintSession& session) {
  TReportResult result;
  QFont title("Arial", 14, QFont::Bold);
  QFont normal("Arial", 9);
  QFont bold("Arial", 9, QFont::Bold);
  {
    TSheetWriter w(session);
    if (!w.Ok()) return result;
    w.Text("Service report", title);
    w.Gap(normal);
    for (const auto& [label, value] : ReportHeaderLines(kiv, source.FileName()))
      w.Row({QString::fromStdString(label), QString::fromStdString(value)}, {0.25, 0.75}, normal,
            false);
    w.Gap(normal);

    TSettingsDiff diff;
    diff.Compare(ParsetSide(kiv, 1), ParsetSide(kiv, 2));
    result.DifferingRows = diff.DifferenceCount();
    w.Text(QString("Settings: parset 1 and parset 2 (%1 differing, shaded and marked *)")
               .arg(result.DifferingRows),
           bold);
    const std::vector<double> cols = {0.03, 0.27, 0.34, 0.18, 0.18};
    auto header = [&] {
      w.Row({"", "Section", "Setting", "Parset 1", "Parset 2"}, cols, bold, false);
    };
    header();
    w.SetHeader(header);
    for (const TSettingsDiffRow& r : diff.Rows()) {
      w.Row(
          {r.Differs ? "*" : "", QString::fromStdString(r.Section), QString::fromStdString(r.Name),
           QString::fromStdString(r.TextA), QString::fromStdString(r.TextB)},
          cols, r.Differs ? bold : normal, r.Differs);
    }
    if (diff.Rows().empty()) w.Text("No settings described by the definitions.", normal);
    result.HeaderPages = w.Sheets();
    w.SetHeader({});
    w.End();
  }
  const TPrintResult printed = PrintRegistration(source, kPrintListing | kPrintGraph, session);
  result.Listings = printed.Listings;
  result.GraphPages = printed.GraphPages;
  return result;
}

bool WriteServiceReport(IPrintSource& source, const TKiv& kiv, const std::string& pdfName,
                        TReportResult& result, std::string& error) {
  QPrinter printer(QPrinter::HighResolution);
  SetA4Pdf(printer);
  printer.setDocName("Service report");
  return PrintToPdfFile(
      printer, pdfName,
      [&](std::string& why) {
        TPrintSession session(printer);
        result = PrintServiceReport(source, kiv, session);
        session.Finish();
        if (result.HeaderPages == 0) why = "Cannot write " + pdfName;
        return result.HeaderPages > 0;
      },
      error);
}
