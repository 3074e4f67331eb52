// The arithmetic and texts of printing that need no printer: the grid's page geometry and
// its packing of columns and rows into pages, the page footers, the print titles, the
// margin texts of the print options dialog, and the settings grid as a plain table (what
// the window's grid shows for a parset), so the window and kivtool print the same thing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "kivdefs.h"

class TKiv;

// Bits of PrintFlags.
constexpr uint8_t kPrintListing = 1;
constexpr uint8_t kPrintGraph = 2;
constexpr uint8_t kPrintZns1 = 4;
constexpr uint8_t kPrintZns2 = 8;

// Page box of a printed grid, in printer pixels.
struct TGridPageBox {
  int32_t Left = 0;    // L
  int32_t Right = 0;   // R (limit)
  int32_t Top = 0;     // T
  int32_t Bottom = 0;  // B (limit)
  int32_t Pen = 0;     // pen width
};

// dpiX/dpiY of the printer, wMm/hMm the size of its printable area.
TGridPageBox GridPageBox(double dpiX, double dpiY, double wMm, double hMm);

// A screen size (pixels at screenDpi) on the printer (pixels at printerDpi), times factor,
// rounded: the printed column widths use factor 1.2, the row heights 1.
int32_t ScreenToPrinter(int32_t screenPx, double screenDpi, double printerDpi, double factor);

// One page's share of the columns (or rows): indexes First..Last inclusive.
struct TPageSpan {
  int First = 0;
  int Last = 0;
};

// Packs sizes greedily from index 0 into pages running from start to limit: an item stays
// on the current page while the edge after it does not pass limit; the first one that
// would pass starts the next page. An item too large for any page gets a page of its own,
// so the walk always ends. No items, or items whose sizes add up to 0, give no pages:
// the page count of a grid is the size of this walk, the same walk that fills its pages.
std::vector<TPageSpan> PackPages(const std::vector<int32_t>& sizes, int32_t start, int32_t limit);

// "str. y", with " (cz.x)" appended when the grid spans more than one page across.
std::string GridPageFooter(int pageRow, int pageColumn, int pagesAcross);

// The file name without its directory, "-Sequence ", n, "-" and what ("Listing", "Route").
// The date and time part of a sequence's header ("Date: ... hour: ..."); "" without one.
std::string SequenceDateTime(const std::string& header);
std::string SequencePrintTitle(const std::string& fileName, int sequence, const std::string& what);

// The print options dialog's margin texts. A margin counts tenths of a centimetre.
// "2,50 cm" for 25; a negative margin shows as 0.
std::string FormatMargin(int32_t margin);
// The longest leading part made of digits, ",", "-" and "+" is the number of centimetres;
// the margin is ten times it, rounded, at least 0. Text without such a number raises
// EConvertError.
int32_t ParseMargin(const std::string& text);

// A grid as printing sees it: the screen sizes of its columns and rows and its texts.
struct TGridTable {
  std::vector<int32_t> ColWidths;               // screen pixels
  std::vector<int32_t> RowHeights;              // screen pixels
  std::vector<std::vector<std::string>> Cells;  // [row][column]
  // Columns holding values (true): printed whole, never elided (missing: false).
  std::vector<bool> ValueCols;
  const std::string& Text(int row, int col) const;
  bool IsValueCol(int col) const;
};

// The value columns of a settings grid with cols columns.
std::vector<bool> SettingsValueColumns(int cols);

// --- legible grid printouts: every cell's text stays inside its cell ---

// Measures a text in printer pixels (the printer font's real metrics).
using TTextWidth = std::function<int32_t(const std::string&)>;
// The printed column widths with every value column widened to hold its widest text plus
// inset on both sides; other columns keep their widths.
std::vector<int32_t> WidenValueColumns(const std::vector<int32_t>& widths, const TGridTable& table,
                                       const TTextWidth& textWidth, int32_t inset);
// Text that fits width: the text itself when it does, else its longest leading part
// (whole UTF-8 characters) followed by "…"; "" when not even "…" fits.
std::string ElideText(const std::string& text, int32_t width, const TTextWidth& textWidth);
// Rows worth printing: up to the last row with any text (trailing empty rows are left
// out), at least the first row when the table has rows.
int PrintedRowCount(const TGridTable& table);
// One sheet's columns across: the columns in print order; Repeated tells whether the first
// is column 0 repeated on a continuation sheet, at width RepeatedWidth.
struct TColumnPage {
  std::vector<int> Columns;
  bool Repeated = false;
  int32_t RepeatedWidth = 0;
};
// Packs columns as PackPages does, but every continuation sheet (cz.2, cz.3 ...) starts
// with column 0 again, at most a quarter of the page wide, so each value can be related to
// its section. No columns, or widths adding up to 0, give no pages.
std::vector<TColumnPage> ColumnPages(const std::vector<int32_t>& widths, int32_t start,
                                     int32_t limit);

// The settings grid of a registration showing parset 1 or 2, built by the rules the
// window's grid follows: its initial size, the growth of its columns, the widths of the
// name, value and spacer columns, and no texts at all while the device type is unknown.
TGridTable SettingsGridTable(const TKiv& kiv, int parset);
