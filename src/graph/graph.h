// TGraph: the timing diagram of a registration as a widget. It owns the Qt-free data
// model (series, ranges, scale and page arithmetic) and adds what needs a screen, a
// bitmap or a printer: the scroll bars, the two cursors with their readouts, the back
// buffer, the one drawing routine DrawPage for every target, printing, series selection
// with the mouse, the setup dialog and the clipboard copy.
#pragma once

#include <QFont>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "graphmodel.h"

class QLabel;
class QPainter;
class QPaintDevice;
class QPrinter;
class QScrollBar;
class TMarker;

// The three kinds of target DrawPage knows. Another bitmap draws only the selected
// series; the back buffer records the band rectangles for the selection; the printer
// takes its own rectangle from the paper margins and prints the title.
enum class TDrawTarget { BackBuffer, Bitmap, Printer };

// The printed title's top, from the sheet's top edge: below any printer's unprintable
// strip, above the plot (which starts at the top margin).
inline constexpr double kPrintTitleTopMm = 8.0;
// Thickness of a cursor's hairline on paper and in a copy (at least one pixel).
inline constexpr double kHairlineMm = 0.1;

// Colour conversions between the model's 0x00BBGGRR values and Qt.
QColor ToQColor(TGraphColor C);
// The tint a selected band is multiplied with: a light shade of the highlight colour.
QColor SelectionTint(const QColor& Highlight);
TGraphColor FromQColor(const QColor& C);

// One entry of the legend strip printed under each sheet: a state's bar as the diagram
// draws it, and the state's name.
struct TLegendEntry {
  std::string Name;
  TGraphPoint Bar;
};

class TGraph : public QWidget {
  Q_OBJECT

 public:
  explicit TGraph(QWidget* parent = nullptr);
  ~TGraph() override;

  // The data model: the event lister fills it (BeginUpdate, Clear, SetRowName,
  // AddPoint, EndUpdate) and every change is shown here.
  TGraphModel& Model() { return model_; }
  const TGraphModel& Model() const { return model_; }

  // --- filling, forwarded to the model ---
  void BeginUpdate() { model_.BeginUpdate(); }
  void EndUpdate() { model_.EndUpdate(); }
  void Clear() { model_.Clear(); }
  bool AddPoint(uint16_t Row, const TGraphPoint& Point) { return model_.AddPoint(Row, Point); }
  void SetRowName(uint16_t Row, const std::string& Name) { model_.SetRowName(Row, Name); }
  std::string GetRowName(uint16_t Row) const { return model_.GetRowName(Row); }
  uint16_t SeriesCount() const { return model_.SeriesCount(); }

  // --- properties whose setters may show a message (through Messages()) ---
  void SetDataTimeInterval(uint16_t V);
  void SetDataTimeType(TIntervalTimeType T);
  int32_t ScaleX() const { return model_.ScaleX(); }
  void SetScaleX(int32_t V) { model_.SetScaleX(V); }
  bool Autoscale() const { return model_.Autoscale(); }
  void SetAutoscale(bool V) { model_.SetAutoscale(V); }
  int32_t FitScale() const { return model_.FitScale(true); }

  // --- screen geometry ---
  const TGraphRect& PlotRect() const { return model_.PlotRect; }
  // The x value under pixel Px of the window (horizontal scroll position included).
  double PixelToValue(int32_t Px) const;
  QScrollBar* HorizontalBar() const { return hBar_; }
  QScrollBar* VerticalBar() const { return vBar_; }
  static constexpr int kBevelWidth = 1;

  // --- printing ---
  // Printed page count with the default printer's paper (UpdatePaperSize first).
  int32_t Pages();
  // Paper size from Printer, else from the default printer, else from the PDF printer
  // (which any system has), in millimetres; the orientation is noted.
  void UpdatePaperSize(QPrinter* Printer = nullptr);
  bool PaperLandscape() const { return paperLandscape_; }
  // Whether a printer exists; the PDF printer counts. Replaceable for tests.
  std::function<bool()> DefaultPrinterPresent;
  // Prints pages FromPage..ToPage (ToPage cut to Pages) onto Target; returns the
  // number of pages drawn. Without a printer: "Brak domyślnej drukarki", nothing printed.
  int Print(int FromPage, int ToPage, QPrinter* Target);
  // The same pages onto a painter already active on Target, as one printout among others
  // of a shared job: the first page goes on the painter's current sheet. With Autoscale on
  // the pages are laid out at the scale that fits the paper's usable width (rounded
  // down), not the window's: a route that fits one sheet prints on one. NewPage, when
  // given, starts each further sheet instead of Target->newPage(), and Aborted, when
  // given, is asked after each page besides the printer's aborted state.
  int PrintOn(QPainter& Painter, QPrinter* Target, int FromPage, int ToPage,
              const std::function<void()>& NewPage = {}, const std::function<bool()>& Aborted = {});

  // Printed on each sheet: right of the title (the sequence's date and time), and under
  // the axis as the legend strip; empty, left out.
  std::string PrintDateTime;
  std::vector<TLegendEntry> PrintLegend;

  // --- drawing ---
  // One window of the chart: series First..Last, x values X0..X1, on an active
  // painter. Rect is the drawing rectangle (the printer computes its own).
  void DrawPage(QPainter& Painter, TDrawTarget Target, const TGraphRect& Rect, uint16_t First,
                uint16_t Last, double X0, double X1);
  // The same on a device (a painter is opened and closed around it).
  void DrawPage(QPaintDevice* Device, TDrawTarget Target, const TGraphRect& Rect, uint16_t First,
                uint16_t Last, double X0, double X1);
  // Renders the screen image into the back buffer and schedules the window's repaint.
  void Redraw();
  const QImage& BackBuffer() const { return backBuffer_; }

  // --- cursors ---
  TMarker* Cursor1() const { return cursor1_; }
  TMarker* Cursor2() const { return cursor2_; }
  // Gives both cursors the plot rectangle and the values at its ends.
  void UpdateCursors();
  // Shows the value of the moved cursor and the difference.
  void UpdateReadout(TMarker* Sender);
  QString X1Text() const;
  QString X2Text() const;
  QString DtText() const;

  // --- selection ---
  uint16_t RowAtPoint(const QPoint& P) const { return model_.RowAtPoint(P.x(), P.y()); }
  void SetRowSelected(uint16_t Row, bool Value) { model_.SetRowSelected(Row, Value); }
  void SelectAll(bool Value = true);
  void DeselectAll() { SelectAll(false); }

  // --- options and copy ---
  // Runs the setup dialog; true when it ended with OK and the settings were taken.
  bool ShowOptions();
  // The bitmap the copy puts on the clipboard; null when nothing is to be copied
  // (no series selected, an empty span or no band height).
  QImage CopyImage() const;
  // A bitmap of the selected series over XA..XB (every series when AllSeries) at the
  // given resolution, with the copy's 10-pixel margins, title room and frame.
  QImage RenderImage(double XA, double XB, double DpiX, double DpiY, bool AllSeries = false) const;
  // The room right of a copy's drawing that keeps the unit text whole, at DpiX.
  int32_t UnitRoomPx(double DpiX) const;
  // The room beyond the copy's margin left of its drawing that keeps whole a label centred
  // on the left edge, whose value is XA, at DpiX.
  int32_t LabelRoomPx(double XA, double DpiX) const;
  // Puts CopyImage() on the clipboard; false when there was nothing to copy.
  bool CopyToClipboard();
  // --- measuring ---
  // The state changes of the drawn series between the two cursors, states named by
  // StateNamer (the route's names; by look when unset).
  std::vector<TStateChange> ChangesBetweenCursors() const;
  TStateNamer StateNamer;
  // With Shift held a dragged cursor snaps to the nearest state change of a series on
  // screen within this many pixels.
  static constexpr int kSnapPx = 6;
  // The snapped value for a cursor dragged to window x (Shift held); none when no change
  // lies within kSnapPx.
  std::optional<double> SnapValue(int X) const;
  // Graph -> "Changes between cursors": the list in a modal dialog.
  void ShowChangesBetweenCursors();

  // --- zoom and scroll ---
  // Multiplies the scale by Factor (up to kMaxZoomScaleX; zooming out stops at the scale
  // that fits the whole range), keeping the instant under window pixel AnchorPx there.
  // Autoscale goes off; the cursors keep their values.
  void ZoomAt(double Factor, int32_t AnchorPx);
  // + and -: around the middle of the cursors' span when both are placed and it is on
  // screen, else around the plot's centre.
  void ZoomIn() { ZoomAt(2.0, ZoomAnchorPx()); }
  void ZoomOut() { ZoomAt(0.5, ZoomAnchorPx()); }
  // Shows the span between the two cursors across the plot; false when they do not
  // span anything.
  bool ZoomToCursors();
  // The window pixel of value X at the current scroll position.
  int32_t ValueToPixel(double X) const;

  // Called with the dialog's help button (the window shows its help page).
  std::function<void()> OnHelp;

 signals:
  // The scale was changed by a zoom of the user's (the scale box shows it).
  void Zoomed();

 protected:
  void wheelEvent(QWheelEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void mouseDoubleClickEvent(QMouseEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;

 private:
  void OnModelChange(TGraphChange C);
  void ComputeLayout();
  void LayoutChildren();
  void UpdateScrollBar();
  void RenderScreen();
  void DrawSelectionMarks(QPainter& P) const;
  void DrawHairlines(QPainter& P) const;
  void ShowMessage(const TGraphMessage& M) const;
  void OnScroll();
  // The sheet's heading right of the title and the legend strip from LegendTop down.
  void DrawSheetNotes(QPainter& P, int Left, int Right, int TitleTop, int LegendTop) const;
  int32_t ZoomAnchorPx() const;
  // Applies Scale with the value Left at the plot's left edge (as far as the range allows).
  void ShowFrom(int32_t Scale, double Left);

  TGraphModel model_;
  QFont font_;
  QScrollBar* vBar_ = nullptr;
  QScrollBar* hBar_ = nullptr;
  TMarker* cursor1_ = nullptr;
  TMarker* cursor2_ = nullptr;
  QLabel* lbX1_ = nullptr;
  QLabel* lbX1Value_ = nullptr;
  QLabel* lbX2_ = nullptr;
  QLabel* lbX2Value_ = nullptr;
  QLabel* lbDt_ = nullptr;
  QImage backBuffer_;
  bool paperLandscape_ = false;
  // The sheet being printed and the printout's sheet count ("sheet k of n"); 0 outside a
  // printout.
  int32_t printSheet_ = 0;
  int32_t printSheets_ = 0;
  // The value at the plot's left edge, kept across changes of the scale.
  double leftValue_ = 0.0;
  bool leftDown_ = false;
};
