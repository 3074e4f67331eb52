// Data model of the timing diagram: the series and their points, the x range, the
// scale settings and the pure arithmetic of the x mapping, the grid, the fitted
// scale and the printed pages. No widget here: the Qt graph draws from this model
// and shows the messages its setters return.
//
// Colours are 32-bit values laid out 0x00BBGGRR (red in the low byte), so the
// familiar constants read as in the original: white 0xFFFFFF, blue 0xFF0000,
// green 0x008000. ColorToHex gives the RRGGBB text used in printouts.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "matrix.h"

// ---------------------------------------------------------------------------
// Colours

using TGraphColor = uint32_t;  // 0x00BBGGRR

inline constexpr TGraphColor kColorWhite = 0xFFFFFF;
inline constexpr TGraphColor kColorBlack = 0x000000;
inline constexpr TGraphColor kColorBlue = 0xFF0000;
inline constexpr TGraphColor kColorGreen = 0x008000;
inline constexpr TGraphColor kColorRed = 0x0000FF;

constexpr TGraphColor MakeColor(uint8_t R, uint8_t G, uint8_t B) {
  return TGraphColor{R} | (TGraphColor{G} << 8) | (TGraphColor{B} << 16);
}
constexpr uint8_t ColorRed(TGraphColor C) {
  return static_cast<uint8_t>(C);
}
constexpr uint8_t ColorGreen(TGraphColor C) {
  return static_cast<uint8_t>(C >> 8);
}
constexpr uint8_t ColorBlue(TGraphColor C) {
  return static_cast<uint8_t>(C >> 16);
}
// "RRGGBB", upper-case hexadecimal.
std::string ColorToHex(TGraphColor C);

// ---------------------------------------------------------------------------
// Points and series

// Pen styles of a bar, numbered as the drawing toolkit numbers them.
inline constexpr uint8_t kPenSolid = 0;
inline constexpr uint8_t kPenDash = 1;
inline constexpr uint8_t kPenDot = 2;

// One point of a series: the state that starts at X and lasts until the next point.
struct TGraphPoint {
  double X = 0.0;
  double Y = 0.0;  // carried with the point, never read by the graph
  TGraphColor Color = kColorBlack;
  uint8_t PenStyle = kPenSolid;
  uint8_t Thickness = 0;  // tenths of a millimetre
};

// Stored layout of a point in PointMatrix (little-endian): X (8), Y (8),
// Color (4), PenStyle (1), Thickness (1).
inline constexpr uint16_t kGraphPointSize = 22;
void EncodeGraphPoint(const TGraphPoint& P, uint8_t* Out);
TGraphPoint DecodeGraphPoint(const uint8_t* In);

// Columns of SeriesMatrix.
inline constexpr uint16_t kSeriesColName = 1;      // name bytes + zero byte
inline constexpr uint16_t kSeriesColShown = 4;     // 1 byte; absent = shown
inline constexpr uint16_t kSeriesColSelected = 5;  // 1 byte; absent = not selected
inline constexpr uint16_t kSeriesColBand = 6;      // 4 x int32 LE; absent = empty
inline constexpr size_t kMaxSeriesName = 255;

struct TGraphRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  // Left/Top inclusive, Right/Bottom exclusive.
  bool Contains(int32_t X, int32_t Y) const {
    return X >= Left && X < Right && Y >= Top && Y < Bottom;
  }
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool operator==(const TGraphRect&) const = default;
};

// Time unit of the x axis, in this order (0..4).
enum class TIntervalTimeType : uint8_t { None, mSeconds, Seconds, Minutes, Hours };

// A message a setter wants shown (OK-only box); empty Text means none.
struct TGraphMessage {
  std::string Text;
  std::string Caption;
  bool Empty() const { return Text.empty(); }
};

// ---------------------------------------------------------------------------
// Pure arithmetic (no state): used by the model, the widget and the renderer.

// Nearest integer, halves to even, saturated to the int32 range (NaN gives 0).
int32_t RoundHalfEvenInt(double V);

double MmToPx(double Dpi, double Mm);
double PxToMm(double Dpi, double Px);

// The x mapping: X0 is the value at the left edge of the drawing area.
struct TXScale {
  double X0 = 0.0;
  double dXPerDiv = 1.0;
  uint16_t dXLen = 10;
  int32_t ScaleX = 100;
};
// Millimetres of one major division: dXLen x ScaleX / 100 (64-bit product).
double DivisionMm(uint16_t dXLen, int32_t ScaleX);
// Millimetres from the left edge to X.
double ValueToMm(const TXScale& S, double X);
// Pixels from the left edge to X at Dpi, rounded (halves to even).
int32_t ValueToPx(const TXScale& S, double Dpi, double X);
// The value at Px pixels from the left edge (the inverse of ValueToPx).
double PxToValue(const TXScale& S, double Dpi, double Px);

// True when X is a multiple of Step within Step / 100.
bool IsMultiple(double X, double Step);
// The first multiple of Step at or after X.
double FirstGridValue(double X, double Step);

struct TGridLine {
  double Value = 0.0;
  int32_t Px = 0;  // offset from the left edge of the drawing area
  bool Major = false;
};
// Grid positions from X0 (in S) to X1: every multiple of the minor step
// Step / (MinorGridCnt + 1), major where a multiple of Step (the labelled step, so ticks and
// grid lines follow the labels). A minor position within the pixel of the line before it is
// skipped; a major position is never skipped: it takes its pixel over a minor one there,
// and majors closer than a pixel to each other are all kept. The walk ends when the value
// no longer advances. An undefined step (not positive or not finite) gives none.
std::vector<TGridLine> GridPositions(const TXScale& S, double Step, int32_t MinorGridCnt,
                                     double Dpi, double X1);

// Axis label of a value with Decimals decimals, "," as the decimal separator; with 0
// decimals the value rounded to an integer (halves to even), written in full. A value
// that rounds to zero reads "0" whatever the decimals.
std::string AxisLabelText(double X, int Decimals = 0);
// The unit text at the end of the x axis ("" for None).
std::string AxisUnitText(TIntervalTimeType Type, uint16_t Interval);
// Minor ticks and grid lines are drawn only where they stay at least this far apart.
inline constexpr double kMinorTickMinMm = 1.0;
// Whether minor positions of a labelled Step cut into MinorGridCnt + 1 parts stay apart.
bool MinorTicksFit(const TXScale& S, double Step, int32_t MinorGridCnt);

// Axis labels actually written: each label is centred on its value's position.
struct TAxisLabel {
  int32_t X = 0;      // left end of the text, in the target's pixels
  int32_t Width = 0;  // width of the text
  double Value = 0.0;
  std::string Text;
};
struct TAxisLabels {
  double Step = 0.0;  // the labelled step in x units
  int Decimals = 0;   // decimals of every label
  std::vector<TAxisLabel> Labels;
};
// The labelled steps tried, smallest first: a 1-2-5 ladder in x units (seconds) from one
// millisecond up, whatever the value per division and the minor count, so an axis zoomed
// onto a switching reads in milliseconds.
std::vector<double> LabelStepCandidates();
// Decimals of the labels of a step: 3 below a tenth (millisecond reading: 0,010 0,020),
// 1 below one, none from one on.
int LabelDecimals(double Step);
// Chooses the smallest candidate step whose labels all keep their room: each label's left
// end at least 2.5 character widths right of the previous label's right end. Labels whose
// right end reaches UnitX (the left end of the unit text) are left out. TextWidth measures
// a label in the target's pixels (the font's real metrics); without it every character is
// CharWidth wide. Left is the left edge of the drawing area; positions come from S at Dpi.
// When no step is free of crowding (an axis narrower than one label), the largest step's
// labels that keep their room are returned.
TAxisLabels ChooseAxisLabels(const TXScale& S, double Dpi, double X1, int32_t Left, int32_t UnitX,
                             int32_t CharWidth,
                             const std::function<int32_t(const std::string&)>& TextWidth);

// The ScaleX that fits DataMin..DataMax into a plot PlotWidthPx pixels wide.
// With an empty range the current scale (10 when it is 0); a result of 0 is 1.
// When FitToPlot is false (another target than the graph itself) the current scale.
int32_t FitScale(double DataMin, double DataMax, int32_t ScaleX, bool FitToPlot,
                 int32_t PlotWidthPx, double Dpi, double dXPerDiv, uint16_t dXLen);
// The unrounded fitting scale; 100 when the range is empty or any input is 0 or
// the plot has no width.
double ScaleToFit(double DataMin, double DataMax, int32_t PlotWidthPx, double Dpi, double dXPerDiv,
                  uint16_t dXLen);

// The largest scale a zoom reaches: a millisecond is tens of pixels wide there at one
// second per division, and an hour of it still fits the scroll bar's pixel count.
inline constexpr int32_t kMaxZoomScaleX = 100000;
// ScaleX times Factor, rounded, within MinScale..kMaxZoomScaleX (MinScale at least 1);
// a zoom in of a small scale moves at least one step, so repeated zooms never stall.
int32_t ZoomedScale(int32_t ScaleX, double Factor, int32_t MinScale);
// The ScaleX that shows A..B with a tenth of their span to spare on either side in a plot
// PlotWidthPx pixels wide (rounded down, within 1..kMaxZoomScaleX); the value at the
// plot's left edge is Left. None when B is not above A.
struct TSpanView {
  int32_t ScaleX = 1;
  double Left = 0.0;
};
std::optional<TSpanView> SpanScale(double A, double B, int32_t PlotWidthPx, double Dpi,
                                   double dXPerDiv, uint16_t dXLen);

// The ScaleX that fits DataMin..DataMax into WidthMm of paper, rounded down so the
// range never spills onto another sheet; at least 1. With an empty range or an undefined
// mapping the current scale.
int32_t PaperFitScale(double DataMin, double DataMax, double WidthMm, double dXPerDiv,
                      uint16_t dXLen, int32_t ScaleX = 100);

// Horizontal scroll bar of the screen: it counts pixels of the plot at the current scale, so
// any instant can be brought into view at any zoom. Its range ends where the end of the
// data reaches the plot's right edge (0 when everything fits); a single step is a tenth of
// the plot width, a page step the whole width (both at least one pixel).
struct TScrollRange {
  int32_t Max = 0;
  int32_t SingleStep = 1;
  int32_t PageStep = 1;
};
TScrollRange ScrollRange(double DataMin, double DataMax, const TXScale& S, double Dpi,
                         int32_t PlotWidthPx);
// The value at the left edge of the screen for a scroll position.
double ScreenX0(double DataMin, int32_t ScrollPos, const TXScale& S, double Dpi);
// The scroll position that puts X at the left edge (before clamping to the range).
int32_t ScrollPosOf(double DataMin, double X, const TXScale& S, double Dpi);

// The plot rectangle inside the panel (integer division toward zero).
TGraphRect ScreenPlotRect(int32_t PanelWidth, int32_t PanelHeight, int32_t BevelWidth,
                          int32_t CursorWidth, int32_t ValueLabelHeight, int32_t CharHeight,
                          int32_t VScrollWidth, int32_t HScrollHeight);

// Printed pages.
double UsableWidthMm(int32_t PaperWidth, int32_t MarginLeft, int32_t MarginRight);
// Length of the whole range on paper in mm.
double TotalLengthMm(double DataMin, double DataMax, uint16_t dXLen, int32_t ScaleX,
                     double dXPerDiv);
// Pages across: the length divided by the usable width, rounded up; 0 when the
// usable width is 0 or less or the length is not a positive finite number.
int32_t HorizontalPageCount(double LengthMm, double UsableWidth);
// x span of one horizontal page.
double PageSpan(double UsableWidth, uint16_t dXLen, int32_t ScaleX, double dXPerDiv);

struct TVerticalSplit {
  uint16_t First = 1;  // first series of the asked page
  uint16_t Last = 0;   // last series of the asked page (below First: none)
  // The vertical page count; meaningful when Page is at least the count (as
  // VerticalPageCount asks), otherwise the band the walk stopped after.
  int32_t Count = 0;
};
// Splits series into vertical bands; Heights[r-1] is the height in mm of series r
// (0 for hidden or empty ones). Page is the band wanted (from 1).
TVerticalSplit VerticalSplit(const std::vector<double>& Heights, int32_t Page, double TitleHeight,
                             double UsableWidth);
// Vertical page count: the split asked for the series count; 0 without series.
int32_t VerticalPageCount(const std::vector<double>& Heights, double TitleHeight,
                          double UsableWidth);

// Page n (from 1) of H pages across: its vertical band and horizontal part, from 1.
struct TPagePosition {
  int32_t Band = 0;
  int32_t Part = 0;
};
TPagePosition PagePosition(int32_t Page, int32_t HorizontalCount);

// DataTimeInterval rules per time unit: the value stored and the message shown.
struct TIntervalCheck {
  uint16_t Value = 1;
  TGraphMessage Message;
};
TIntervalCheck CheckTimeInterval(TIntervalTimeType Type, uint16_t Value);
// The interval to pass through the rules when the unit changes to Type.
uint16_t IntervalForNewType(TIntervalTimeType Type, uint16_t Current);

// A cursor readout: fixed notation with 3 decimals of the value rounded to 7
// significant digits (to the millisecond from 10 000 on, so a long sequence keeps its
// milliseconds), "," as the decimal separator; exponent form from 1E7 on.
std::string CursorValueText(double V);

// The x span of the clipboard copy: the whole range, or the span between the two
// cursor values themselves (smaller first).
struct TCopySpan {
  double XA = 0.0;
  double XB = 0.0;
  bool Empty() const { return !(XA < XB); }
};
TCopySpan CopySpan(bool WholeRange, double DataMin, double DataMax, double Cursor1, double Cursor2);

// Bitmap geometry of the clipboard copy: R starts as (10, 10, 10, 10); each copied
// band adds its height (vertical resolution), the title its height (horizontal
// resolution, as the copy has always measured it) and the span its width. Draw is the
// rectangle handed to the drawing (without the title room); Width x Height the bitmap.
// Height 0 when there is no band height to copy.
struct TCopyLayout {
  int32_t Width = 0;
  int32_t Height = 0;
  TGraphRect Draw;
};
// RightRoomPx widens the bitmap beyond the drawing's right edge, so the unit text
// centred on that edge is not cut off; LeftRoomPx moves the drawing right of the 10-pixel
// margin, so the first axis label centred on the left edge is not cut off either.
TCopyLayout CopyLayout(const std::vector<double>& BandHeightsMm, double TitleHeightMm,
                       int32_t SpanPx, double DpiX, double DpiY, int32_t RightRoomPx = 0,
                       int32_t LeftRoomPx = 0);

// ---------------------------------------------------------------------------
// State changes of the drawn series (the measuring tools of the cursors)

// One change: series Row turns from one state into another at time X.
struct TStateChange {
  double X = 0.0;
  uint16_t Row = 0;
  std::string Series;  // GetRowName of the row
  std::string Before;
  std::string After;
  double SincePrevious = 0.0;  // time since the change before it in the list (0 for the first)
};
class TGraphModel;
// Names the state a point starts; without it a state is told by its look (colour, pen
// style and thickness).
using TStateNamer = std::function<std::string(const TGraphPoint&)>;
// Every change of a shown series with points between XA and XB (inclusive, either order):
// a point after the first whose state differs from the state before it. Ordered by time,
// then by series; SincePrevious counts from the change before in that order.
std::vector<TStateChange> StateChanges(const TGraphModel& Graph, double XA, double XB,
                                       const TStateNamer& Namer = {});
// The list as text lines: a header line, then per change its time, series, "before -> after"
// and the time since the previous change, tab-separated, times with 3 decimals and ",".
std::vector<std::string> StateChangeLines(const std::vector<TStateChange>& Changes);
// The change position nearest to X among series Rows (a change as StateChanges counts it),
// when it lies within Tolerance x units; none otherwise.
std::optional<double> NearestChange(const TGraphModel& Graph, const std::vector<uint16_t>& Rows,
                                    double X, double Tolerance, const TStateNamer& Namer = {});

// ---------------------------------------------------------------------------
// The model

// What a change asks of the view.
enum class TGraphChange {
  Layout,  // recompute the screen layout (PlotRect, ScreenDpiX/Y) and cursor ranges
  Scale,   // ScaleX was applied: update the horizontal scroll bar (ScrollRange);
           // when not Locked(), redraw and update the cursors
  Home,    // Fit: show the range from its start (scroll position 0)
  Redraw,  // repaint
};

class TGraphModel {
 public:
  TGraphModel();
  virtual ~TGraphModel();
  TGraphModel(const TGraphModel&) = delete;
  TGraphModel& operator=(const TGraphModel&) = delete;

  // Row r = series r: its points in the order added (ascending X expected).
  TOgmMatrix PointMatrix;
  // Row r = series r: name, shown, selected and band rectangle columns.
  TOgmMatrix SeriesMatrix;

  // Called synchronously; the view reacts (may be empty).
  std::function<void(TGraphChange)> OnChange;

  // --- filling (the event lister) ---
  void BeginUpdate();
  // Clears the lock, asks for the layout, fits the scale when Autoscale is on,
  // re-applies ScaleX and asks for a redraw.
  void EndUpdate();
  bool Locked() const { return locked_; }
  // Empties both matrices and the range.
  void Clear();
  // Appends the point to series Row (created when missing) and widens the range to
  // include its X. False (nothing stored) for Row 0 or a full series.
  virtual bool AddPoint(uint16_t Row, const TGraphPoint& Point);
  // Names are cut to 255 characters.
  void SetRowName(uint16_t Row, const std::string& Name);
  // "3. U1" for a named series (also "3. " for an empty stored name), else "Wykres 3".
  std::string GetRowName(uint16_t Row) const;

  // --- reading ---
  uint16_t SeriesCount() const { return PointMatrix.RowCount; }
  uint16_t PointCount(uint16_t Row) const;
  // Point Col of series Row; a default point when absent.
  TGraphPoint Point(uint16_t Row, uint16_t Col) const;
  // The last point with X <= X (searched from the end); 0 when none.
  uint16_t LastPointAtOrBefore(uint16_t Row, double X) const;

  // --- series flags (absent shown flag = shown, absent selected flag = not) ---
  bool RowShown(uint16_t Row) const;
  void SetRowShown(uint16_t Row, bool Shown);
  bool RowSelected(uint16_t Row) const;
  // For 1 <= Row <= SeriesCount(); writes only when the flag changes.
  void SetRowSelected(uint16_t Row, bool Selected);
  uint16_t SelectedCount() const;
  // Every series' flag, from the last to the first.
  void SelectAll(bool Selected = true);
  // The band rectangle recorded by the last screen drawing (empty when none).
  TGraphRect RowBand(uint16_t Row) const;
  // An empty rectangle is only written over an existing one.
  void SetRowBand(uint16_t Row, const TGraphRect& Band);
  void ClearBands();
  // 0 unless (X, Y) lies in PlotRect; else the highest series whose band holds it.
  uint16_t RowAtPoint(int32_t X, int32_t Y) const;
  // Height of series r in mm: RowHeight when it has points and is shown, else 0.
  double SeriesHeightMm(uint16_t Row) const;
  std::vector<double> SeriesHeights() const;

  // --- properties with rules ---
  double DataMinRange() const { return dataMin_; }
  double DataMaxRange() const { return dataMax_; }
  // Accepted when different and below DataMaxRange; false when ignored.
  bool SetDataMinRange(double V);
  // Accepted when different and above DataMinRange by more than 9.0.
  bool SetDataMaxRange(double V);
  uint16_t DataTimeInterval() const { return interval_; }
  TGraphMessage SetDataTimeInterval(uint16_t V);
  TIntervalTimeType DataTimeType() const { return timeType_; }
  TGraphMessage SetDataTimeType(TIntervalTimeType T);
  TGraphColor DataBackGround() const { return background_; }
  void SetDataBackGround(TGraphColor C);
  int32_t ScaleX() const { return scaleX_; }
  void SetScaleX(int32_t V);
  bool Autoscale() const { return autoscale_; }
  void SetAutoscale(bool V);
  double MajorGridWidth = 0.2;  // mm
  double MinorGridWidth = 0.1;  // mm

  // --- settings (public fields) ---
  double dXPerDiv = 1.0;
  uint16_t dXLen = 10;  // mm at ScaleX 100
  int32_t MinorGridCnt = 4;
  bool ShowMajorGrid = false;
  bool ShowMinorGrid = false;
  TGraphColor MajorGridColor = kColorBlue;
  TGraphColor MinorGridColor = kColorBlue;
  uint8_t GridLineStyle = kPenSolid;
  bool CopyWholeRange = true;
  double TitleHeight = 10.0;  // mm
  uint16_t RowHeight = 7;     // mm
  int32_t PaperWidth = 210;   // mm
  int32_t PaperHeight = 297;  // mm
  int32_t MarginLeft = 15;
  int32_t MarginRight = 15;
  int32_t MarginTop = 25;
  int32_t MarginBottom = 20;  // kept, not used
  std::string PrintTitle;
  // The x span printed when set (a part of the range, of any width); the whole range
  // otherwise. The range's own rule (wider than 9 units) does not apply to it.
  std::optional<std::pair<double, double>> PrintSpan;
  double PrintMin() const { return PrintSpan ? PrintSpan->first : dataMin_; }
  double PrintMax() const { return PrintSpan ? PrintSpan->second : dataMax_; }
  // Screen geometry, set by the view when it lays itself out.
  TGraphRect PlotRect;
  int32_t ScreenDpiX = 0;
  int32_t ScreenDpiY = 0;
  int32_t CharHeight = 0;
  // Selection state.
  uint16_t AnchorSeries = 0;
  uint16_t LastSeries = 0;

  // --- derived values ---
  // The scale fitting the whole range into PlotRect at ScreenDpiX (FitToPlot) or
  // the current one.
  int32_t FitScale(bool FitToPlot = true) const;
  TXScale XScale(double X0) const { return {X0, dXPerDiv, dXLen, scaleX_}; }
  // The value at the plot's left edge for a horizontal scroll position (in pixels).
  double ScreenLeftValue(int32_t ScrollPos) const;
  // The horizontal scroll bar's range for the current scale and plot.
  TScrollRange ScreenScrollRange() const;
  // The value under pixel Px of the screen for a scroll position.
  double PixelToValue(int32_t Px, int32_t ScrollPos) const;
  int32_t HorizontalPages() const;
  double PageSpanX() const;
  int32_t VerticalPages() const;
  // Vertical pages x horizontal pages with the current paper (0 without series).
  int32_t Pages() const;
  TVerticalSplit SplitForPage(int32_t Band) const;
  std::string AxisUnit() const { return AxisUnitText(timeType_, interval_); }

 protected:
  void Notify(TGraphChange C) const;
  void Redraw() const;  // unless locked

 private:
  double dataMin_ = 0.0;
  double dataMax_ = 0.0;
  uint16_t interval_ = 1;
  TIntervalTimeType timeType_ = TIntervalTimeType::Seconds;
  TGraphColor background_ = kColorWhite;
  int32_t scaleX_ = 100;
  bool autoscale_ = true;
  bool locked_ = false;
};
