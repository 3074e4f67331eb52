#include "printlayout.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>

#include "graphmodel.h"
#include "gridlayout.h"
#include "kivbase.h"
#include "numfmt.h"
#include "settingcells.h"
#include "settings.h"

TGridPageBox GridPageBox(double dpiX, double dpiY, double wMm, double hMm) {
  TGridPageBox b;
  b.Left = RoundHalfEvenInt(MmToPx(dpiX, 15));
  b.Right = RoundHalfEvenInt(MmToPx(dpiX, wMm - 15));
  b.Top = RoundHalfEvenInt(MmToPx(dpiY, 20));
  b.Bottom = RoundHalfEvenInt(MmToPx(dpiY, hMm - 20));
  b.Pen = RoundHalfEvenInt(MmToPx(dpiX, 0.25));
  return b;
}

int32_t ScreenToPrinter(int32_t screenPx, double screenDpi, double printerDpi, double factor) {
  if (screenDpi <= 0) return 0;
  return RoundHalfEvenInt(MmToPx(printerDpi, PxToMm(screenDpi, screenPx)) * factor);
}

std::vector<TPageSpan> PackPages(const std::vector<int32_t>& sizes, int32_t start, int32_t limit) {
  std::vector<TPageSpan> pages;
  long long total = 0;
  for (int32_t s : sizes) total += std::max<int32_t>(s, 0);
  if (sizes.empty() || total == 0) return pages;
  long long edge = start;
  bool open = false;
  for (size_t i = 0; i < sizes.size(); ++i) {
    const long long next = edge + std::max<int32_t>(sizes[i], 0);
    if (open && next > limit) {
      open = false;
      edge = start;
    }
    if (!open) {
      pages.push_back({static_cast<int>(i), static_cast<int>(i)});
      open = true;
    }
    pages.back().Last = static_cast<int>(i);
    edge += std::max<int32_t>(sizes[i], 0);
  }
  return pages;
}

std::string GridPageFooter(int pageRow, int pageColumn, int pagesAcross) {
  std::string s = "str. " + std::to_string(pageRow);
  if (pagesAcross != 1) s += " (cz." + std::to_string(pageColumn) + ")";
  return s;
}

std::string SequenceDateTime(const std::string& header) {
  const size_t at = header.find("Date: ");
  return at == std::string::npos ? std::string() : header.substr(at);
}

std::string SequencePrintTitle(const std::string& fileName, int sequence, const std::string& what) {
  std::string base = fileName;
  const size_t cut =
      base.find_last_of(std::string("/") + std::filesystem::path::preferred_separator);
  if (cut != std::string::npos) base.erase(0, cut + 1);
  return base + "-Sequence " + std::to_string(sequence) + "-" + what;
}

std::string FormatMargin(int32_t margin) {
  if (margin < 0) margin = 0;
  // Two significant digits, two decimals: tenths below 10 cm are exact; from 10 cm on
  // the centimetres are rounded to whole ones (half up, as the decimal digits round).
  long long m = margin;
  if (m >= 100) {
    const long long cm = (m + 5) / 10;
    if (cm < 100) return std::to_string(cm) + "," + "00 cm";
    // Beyond two integer digits the fixed form gives way to the exponent form
    // ("1,0E+002 cm").
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1E", static_cast<double>(m) / 10);
    std::string t = buf;
    const size_t e = t.find('E');
    std::string exp = t.substr(e + 2);
    while (exp.size() < 3) exp.insert(0, "0");
    t = t.substr(0, e + 2) + exp;
    for (char& c : t)
      if (c == '.') c = kDecimalSeparator;
    return t + " cm";
  }
  return std::to_string(m / 10) + "," + std::to_string(m % 10) + "0 cm";
}

int32_t ParseMargin(const std::string& text) {
  size_t n = 0;
  while (n < text.size()) {
    const char c = text[n];
    if (!((c >= '0' && c <= '9') || c == kDecimalSeparator || c == '.' || c == '-' || c == '+'))
      break;
    ++n;
  }
  const double cm = TypedToFloat(text.substr(0, n));
  const double tenths = RoundHalfEven(cm * 10);
  if (!(tenths > 0)) return 0;
  if (tenths >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(tenths);
}

const std::string& TGridTable::Text(int row, int col) const {
  static const std::string kEmpty;
  if (row < 0 || col < 0 || row >= static_cast<int>(Cells.size())) return kEmpty;
  const std::vector<std::string>& r = Cells[static_cast<size_t>(row)];
  if (col >= static_cast<int>(r.size())) return kEmpty;
  return r[static_cast<size_t>(col)];
}

bool TGridTable::IsValueCol(int col) const {
  return col >= 0 && col < static_cast<int>(ValueCols.size()) &&
         ValueCols[static_cast<size_t>(col)];
}

std::vector<bool> SettingsValueColumns(int cols) {
  std::vector<bool> v(static_cast<size_t>(std::max(cols, 0)), false);
  for (int c = 0; c < cols; ++c) v[static_cast<size_t>(c)] = znsgrid::SettingOfColumn(c) != 0;
  return v;
}

std::vector<int32_t> WidenValueColumns(const std::vector<int32_t>& widths, const TGridTable& table,
                                       const TTextWidth& textWidth, int32_t inset) {
  std::vector<int32_t> out = widths;
  for (size_t c = 0; c < out.size(); ++c) {
    // A hidden column stays hidden.
    if (out[c] <= 0 || !table.IsValueCol(static_cast<int>(c))) continue;
    int64_t need = 0;
    for (size_t r = 0; r < table.Cells.size(); ++r) {
      const std::string& t = table.Text(static_cast<int>(r), static_cast<int>(c));
      if (!t.empty()) need = std::max<int64_t>(need, textWidth(t));
    }
    if (need == 0) continue;
    need += 2 * int64_t{std::max(inset, 0)};
    if (need > out[c]) out[c] = static_cast<int32_t>(std::min<int64_t>(need, INT32_MAX));
  }
  return out;
}

std::string ElideText(const std::string& text, int32_t width, const TTextWidth& textWidth) {
  if (textWidth(text) <= width) return text;
  static const std::string kEllipsis = "\u2026";
  if (textWidth(kEllipsis) > width) return "";
  // Cut points at whole UTF-8 characters; the longest prefix that fits with the ellipsis.
  std::vector<size_t> cuts;
  for (size_t i = 1; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) cuts.push_back(i);
  }
  size_t lo = 0;
  size_t hi = cuts.size();  // candidates cuts[0..hi-1]; lo = how many fit
  while (lo < hi) {
    const size_t mid = (lo + hi + 1) / 2;
    if (textWidth(text.substr(0, cuts[mid - 1]) + kEllipsis) <= width) {
      lo = mid;
    } else {
      hi = mid - 1;
    }
  }
  return lo == 0 ? kEllipsis : text.substr(0, cuts[lo - 1]) + kEllipsis;
}

int PrintedRowCount(const TGridTable& table) {
  const int rows = static_cast<int>(table.RowHeights.size());
  int last = 0;
  for (int r = 0; r < rows && r < static_cast<int>(table.Cells.size()); ++r) {
    for (const std::string& t : table.Cells[static_cast<size_t>(r)]) {
      if (!t.empty()) {
        last = r;
        break;
      }
    }
  }
  return rows == 0 ? 0 : last + 1;
}

std::vector<TColumnPage> ColumnPages(const std::vector<int32_t>& widths, int32_t start,
                                     int32_t limit) {
  std::vector<TColumnPage> pages;
  long long total = 0;
  for (int32_t w : widths) total += std::max<int32_t>(w, 0);
  if (widths.empty() || total == 0) return pages;
  const int32_t repeated =
      std::min<int32_t>(std::max<int32_t>(widths[0], 0), std::max<int32_t>((limit - start) / 4, 0));
  long long edge = start;
  for (size_t i = 0; i < widths.size(); ++i) {
    const int32_t w = std::max<int32_t>(widths[i], 0);
    const bool hasOwn =
        !pages.empty() && pages.back().Columns.size() > (pages.back().Repeated ? 1u : 0u);
    if (pages.empty() || (hasOwn && edge + w > limit)) {
      TColumnPage page;
      edge = start;
      if (!pages.empty() && repeated > 0) {
        page.Columns.push_back(0);
        page.Repeated = true;
        page.RepeatedWidth = repeated;
        edge += repeated;
      }
      pages.push_back(std::move(page));
    }
    pages.back().Columns.push_back(static_cast<int>(i));
    edge += w;
  }
  return pages;
}

TGridTable SettingsGridTable(const TKiv& kiv, int parset) {
  using namespace znsgrid;
  TGridTable t;
  int cols = kInitialCols;
  int rows = kInitialRows;
  t.ColWidths.assign(static_cast<size_t>(cols), kDefaultColWidth);
  t.ColWidths[0] = 3 * kDefaultColWidth;
  auto set = [&t](int r, int c, std::string text) {
    if (static_cast<int>(t.Cells.size()) <= r) t.Cells.resize(static_cast<size_t>(r) + 1);
    std::vector<std::string>& row = t.Cells[static_cast<size_t>(r)];
    if (static_cast<int>(row.size()) <= c) row.resize(static_cast<size_t>(c) + 1);
    row[static_cast<size_t>(c)] = std::move(text);
  };
  if (kiv.GetKivType() != kivtUnknown) {
    const uint8_t* data = parset == 1 ? kiv.Zestaw1() : kiv.Zestaw2();
    const int length = parset == 1 ? kiv.Zestaw1Length() : kiv.Zestaw2Length();
    const TKivDefs& defs = kiv.Defs;
    const int sections = defs.SectionCount();
    rows = std::max(rows, sections + 1);
    for (int r = 1; r <= sections; ++r) {
      set(r, 0, defs.SectionTitle(r));
      const int n = SettingCount(defs, r);
      const TSets* sets = defs.SectionSets(r);
      for (int j = 1; j <= n; ++j) {
        const int nameCol = NameColumn(j);
        if (cols + kFixedCols < nameCol + 2) {
          cols = nameCol + 2 + kFixedCols;
          t.ColWidths.resize(static_cast<size_t>(cols), kDefaultColWidth);
        }
        const TSetDesc desc = sets->GetSetting(j);
        set(r, nameCol, SettingNameCell(desc));
        set(r, nameCol + 1, SettingToText(desc, data, length));
        t.ColWidths[static_cast<size_t>(nameCol + 1)] = kDefaultColWidth / 2;
        if (nameCol + 2 < cols)
          t.ColWidths[static_cast<size_t>(nameCol + 2)] = kDefaultColWidth / 3;
      }
    }
    set(0, 0, DefinitionCell(defs));
  }
  t.RowHeights.assign(static_cast<size_t>(rows), kDefaultRowHeight);
  t.Cells.resize(static_cast<size_t>(rows));
  for (std::vector<std::string>& row : t.Cells) row.resize(static_cast<size_t>(cols));
  t.ValueCols = SettingsValueColumns(cols);
  return t;
}
