#include "graphmodel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr double kMmPerInch = 25.4;
constexpr uint16_t kBandSize = 16;

// Nearest integer as a double, halves to even, independent of the rounding mode.
double RoundEvenD(double V) {
  if (!std::isfinite(V)) return V;
  const double f = std::floor(V);
  const double d = V - f;
  if (d > 0.5) return f + 1.0;
  if (d < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

int32_t Saturate(int64_t V) {
  return static_cast<int32_t>(std::clamp<int64_t>(V, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

void PutInt32LE(uint8_t* P, int32_t V) {
  const auto u = static_cast<uint32_t>(V);
  for (int i = 0; i < 4; ++i) P[i] = static_cast<uint8_t>(u >> (8 * i));
}

int32_t GetInt32LE(const uint8_t* P) {
  uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= uint32_t{P[i]} << (8 * i);
  return static_cast<int32_t>(u);
}

}  // namespace

// ---------------------------------------------------------------------------
// Colours and points

std::string ColorToHex(TGraphColor C) {
  char text[8];
  std::snprintf(text, sizeof text, "%02X%02X%02X", ColorRed(C), ColorGreen(C), ColorBlue(C));
  return text;
}

void EncodeGraphPoint(const TGraphPoint& P, uint8_t* Out) {
  PutDoubleLE(Out, P.X);
  PutDoubleLE(Out + 8, P.Y);
  for (int i = 0; i < 4; ++i) Out[16 + i] = static_cast<uint8_t>(P.Color >> (8 * i));
  Out[20] = P.PenStyle;
  Out[21] = P.Thickness;
}

TGraphPoint DecodeGraphPoint(const uint8_t* In) {
  TGraphPoint p;
  p.X = GetDoubleLE(In);
  p.Y = GetDoubleLE(In + 8);
  p.Color = 0;
  for (int i = 0; i < 4; ++i) p.Color |= TGraphColor{In[16 + i]} << (8 * i);
  p.PenStyle = In[20];
  p.Thickness = In[21];
  return p;
}

// ---------------------------------------------------------------------------
// Pure arithmetic

int32_t RoundHalfEvenInt(double V) {
  if (std::isnan(V)) return 0;
  const double r = RoundEvenD(V);
  if (r >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  if (r <= static_cast<double>(std::numeric_limits<int32_t>::min())) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(r);
}

double MmToPx(double Dpi, double Mm) {
  return Dpi * Mm / kMmPerInch;
}

double PxToMm(double Dpi, double Px) {
  return Dpi == 0.0 ? 0.0 : Px * kMmPerInch / Dpi;
}

double DivisionMm(uint16_t dXLen, int32_t ScaleX) {
  // 64-bit: dXLen x ScaleX overflows 32 bits for the largest settings.
  return static_cast<double>(int64_t{dXLen} * int64_t{ScaleX}) / 100.0;
}

double ValueToMm(const TXScale& S, double X) {
  if (S.dXPerDiv == 0.0) return 0.0;
  return (X - S.X0) / S.dXPerDiv * DivisionMm(S.dXLen, S.ScaleX);
}

int32_t ValueToPx(const TXScale& S, double Dpi, double X) {
  return RoundHalfEvenInt(MmToPx(Dpi, ValueToMm(S, X)));
}

double PxToValue(const TXScale& S, double Dpi, double Px) {
  if (S.dXLen == 0 || S.ScaleX == 0 || Dpi == 0.0) return S.X0;
  return PxToMm(Dpi, Px) / S.dXLen / S.ScaleX * (S.dXPerDiv * 100.0) + S.X0;
}

bool IsMultiple(double X, double Step) {
  if (!(Step > 0.0)) return false;
  const double n = RoundEvenD(X / Step);
  return std::fabs(X - n * Step) < Step / 100.0;
}

double FirstGridValue(double X, double Step) {
  const double v = RoundEvenD(X / Step) * Step;
  return v >= X ? v : v + Step;
}

std::vector<TGridLine> GridPositions(const TXScale& S, double Step, int32_t MinorGridCnt,
                                     double Dpi, double X1) {
  std::vector<TGridLine> lines;
  const int64_t parts = int64_t{MinorGridCnt} + 1;
  if (parts <= 0 || !(Dpi > 0.0) || !(S.dXPerDiv > 0.0) || S.dXLen == 0 || S.ScaleX <= 0 ||
      !(Step > 0.0) || !std::isfinite(Step)) {
    return lines;
  }
  const double step = Step / static_cast<double>(parts);
  if (!(step > 0.0) || !std::isfinite(step)) return lines;
  // Positions are counted by their index i (value i x step), so a major is exactly every
  // parts-th index and no rounding error builds up along a long axis.
  const double firstIndex = RoundEvenD(FirstGridValue(S.X0, step) / step);
  if (!(std::fabs(firstIndex) < 9.0e18)) return lines;
  auto valueOf = [&](int64_t i) { return static_cast<double>(i) * Step / parts; };
  auto isMajor = [&](int64_t i) { return i % parts == 0; };
  // The first major index after i.
  auto nextMajor = [&](int64_t i) {
    const int64_t q = i / parts + ((i % parts) >= 0 ? 1 : 0);
    return q * parts;
  };
  int64_t i = static_cast<int64_t>(firstIndex);
  double previous = -std::numeric_limits<double>::infinity();
  while (true) {
    const double g = valueOf(i);
    if (!(g <= X1)) break;
    if (!(g > previous)) break;  // the step is lost in the value's precision
    previous = g;
    const int32_t px = ValueToPx(S, Dpi, g);
    const bool major = isMajor(i);
    if (lines.empty() || px > lines.back().Px) {
      lines.push_back({g, px, major});
    } else if (major) {
      // A major wins its pixel over a minor there, and every major is kept (majors
      // closer than a pixel to each other share it), so no label or tick is lost.
      if (!lines.back().Major) {
        lines.back() = {g, px, true};
      } else {
        lines.push_back({g, px, true});
      }
    } else {
      // A minor within the last line's pixel: go straight to the next pixel's first grid
      // position instead of walking every one in between, but never past a major.
      const double beyond = PxToValue(S, Dpi, static_cast<double>(lines.back().Px) + 0.5);
      double jump = RoundEvenD(FirstGridValue(beyond, step) / step);
      if (!(std::fabs(jump) < 9.0e18)) break;
      int64_t j = static_cast<int64_t>(jump);
      j = std::min(j, nextMajor(i));
      if (j > i + 1) {
        i = j;
        continue;
      }
    }
    if (i == std::numeric_limits<int64_t>::max()) break;
    ++i;
  }
  return lines;
}

std::string AxisLabelText(double X, int Decimals) {
  Decimals = std::clamp(Decimals, 0, 9);
  char text[400];
  if (Decimals == 0) {
    const double r = RoundEvenD(X);
    if (std::fabs(r) < 9.0e18) {
      std::snprintf(text, sizeof text, "%lld", static_cast<long long>(r));
    } else {
      std::snprintf(text, sizeof text, "%.0f", r);
    }
  } else {
    std::snprintf(text, sizeof text, "%.*f", Decimals, X);
  }
  std::string s = text;
  for (char& c : s) {
    if (c == '.') c = ',';
  }
  // A value rounded to zero reads "0", neither "-0" nor "0,0": the origin of the axis.
  if (s.find_first_not_of("-0,") == std::string::npos) return "0";
  return s;
}

std::vector<double> LabelStepCandidates() {
  std::vector<double> steps;
  // Each step from its integer parts, so 0,002 is the double nearest to it and its
  // multiples read exactly.
  for (int exponent = -3; exponent <= 15; ++exponent) {
    for (const double f : {1.0, 2.0, 5.0}) {
      steps.push_back(exponent < 0 ? f / std::pow(10.0, -exponent) : f * std::pow(10.0, exponent));
    }
  }
  return steps;
}

int LabelDecimals(double Step) {
  if (Step >= 1.0 - 1e-9) return 0;
  if (Step >= 0.1 - 1e-12) return 1;
  return 3;
}

TAxisLabels ChooseAxisLabels(const TXScale& S, double Dpi, double X1, int32_t Left, int32_t UnitX,
                             int32_t CharWidth,
                             const std::function<int32_t(const std::string&)>& TextWidth) {
  TAxisLabels best;
  if (!(Dpi > 0.0) || S.dXLen == 0 || S.ScaleX <= 0 || !(X1 >= S.X0)) return best;
  auto width = [&](const std::string& t) -> int64_t {
    return TextWidth ? TextWidth(t) : static_cast<int64_t>(t.size()) * CharWidth;
  };
  // Labels a step gives, with the room rule applied: a label is written when its left end
  // lies at least 2.5 character widths right of the last written label's right end and
  // its right end left of the unit text. Overlapping is a reason to try a larger step.
  auto place = [&](double step, bool& crowded) {
    TAxisLabels res;
    res.Step = step;
    res.Decimals = LabelDecimals(step);
    crowded = false;
    const double first = RoundEvenD(FirstGridValue(S.X0, step) / step);
    if (!(std::fabs(first) < 9.0e18)) return res;
    int64_t lastRight = std::numeric_limits<int64_t>::min() / 4;
    double previous = -std::numeric_limits<double>::infinity();
    for (auto n = static_cast<int64_t>(first);; ++n) {
      const double v = static_cast<double>(n) * step;
      if (!(v <= X1) || !(v > previous)) break;
      previous = v;
      std::string text = AxisLabelText(v, res.Decimals);
      const int64_t w = width(text);
      const int64_t x = int64_t{Left} + ValueToPx(S, Dpi, v);
      const int64_t lx = x - w / 2;
      const int64_t right = lx + w;
      if (right >= UnitX) continue;
      if (2 * (lx - lastRight) < 5 * int64_t{CharWidth}) {
        crowded = true;
        continue;
      }
      res.Labels.push_back({Saturate(lx), Saturate(w), v, std::move(text)});
      lastRight = right;
      // Too many labels for any real axis: the step is certainly too small.
      if (res.Labels.size() > 100000) {
        crowded = true;
        break;
      }
    }
    return res;
  };
  for (const double step : LabelStepCandidates()) {
    // A step narrower than the gap the labels keep cannot fit: skip it without walking.
    if (2.0 * MmToPx(Dpi, ValueToMm(S, S.X0 + step)) < 5.0 * CharWidth) continue;
    bool crowded = false;
    TAxisLabels res = place(step, crowded);
    if (!crowded) return res;
    best = std::move(res);  // the largest step tried, with the crowded labels left out
  }
  return best;
}

std::string AxisUnitText(TIntervalTimeType Type, uint16_t Interval) {
  const bool small = Interval == 1 || Interval == 2;
  switch (Type) {
    case TIntervalTimeType::None:
      return "";
    case TIntervalTimeType::mSeconds:
      return "[s]";
    case TIntervalTimeType::Seconds:
      return small ? "[s]" : "[min]";
    case TIntervalTimeType::Minutes:
      return small ? "[min]" : "[h]";
    case TIntervalTimeType::Hours:
      return "[day]";
  }
  return "";
}

bool MinorTicksFit(const TXScale& S, double Step, int32_t MinorGridCnt) {
  const double parts = static_cast<double>(MinorGridCnt) + 1.0;
  if (!(parts >= 1.0)) return false;
  return std::fabs(ValueToMm(S, S.X0 + Step / parts)) >= kMinorTickMinMm;
}

double ScaleToFit(double DataMin, double DataMax, int32_t PlotWidthPx, double Dpi, double dXPerDiv,
                  uint16_t dXLen) {
  const double range = DataMax - DataMin;
  // A plot without width (a panel too small for its frame) fits nothing.
  if (!(range > 0.0) || !(dXPerDiv > 0.0) || dXLen == 0 || PlotWidthPx <= 0 || !(Dpi > 0.0)) {
    return 100.0;
  }
  return PxToMm(Dpi, PlotWidthPx) * (dXPerDiv * 100.0) / dXLen / range;
}

int32_t FitScale(double DataMin, double DataMax, int32_t ScaleX, bool FitToPlot,
                 int32_t PlotWidthPx, double Dpi, double dXPerDiv, uint16_t dXLen) {
  int32_t r = ScaleX;
  if (!(DataMin < DataMax)) {
    r = ScaleX == 0 ? 10 : ScaleX;
  } else if (FitToPlot) {
    r = RoundHalfEvenInt(ScaleToFit(DataMin, DataMax, PlotWidthPx, Dpi, dXPerDiv, dXLen));
  }
  return r == 0 ? 1 : r;
}

int32_t ZoomedScale(int32_t ScaleX, double Factor, int32_t MinScale) {
  const int32_t lo = std::clamp(MinScale, 1, kMaxZoomScaleX);
  if (!(Factor > 0.0) || !std::isfinite(Factor)) return std::clamp(ScaleX, lo, kMaxZoomScaleX);
  double v = std::round(static_cast<double>(ScaleX) * Factor);
  if (Factor > 1.0) v = std::max(v, static_cast<double>(ScaleX) + 1.0);
  if (Factor < 1.0) v = std::min(v, static_cast<double>(ScaleX) - 1.0);
  return static_cast<int32_t>(
      std::clamp(v, static_cast<double>(lo), static_cast<double>(kMaxZoomScaleX)));
}

std::optional<TSpanView> SpanScale(double A, double B, int32_t PlotWidthPx, double Dpi,
                                   double dXPerDiv, uint16_t dXLen) {
  if (!(B > A) || PlotWidthPx <= 0 || !(Dpi > 0.0) || !(dXPerDiv > 0.0) || dXLen == 0)
    return std::nullopt;
  const double spare = (B - A) / 10.0;
  const double fit =
      std::floor(ScaleToFit(A - spare, B + spare, PlotWidthPx, Dpi, dXPerDiv, dXLen));
  return TSpanView{static_cast<int32_t>(std::clamp(fit, 1.0, static_cast<double>(kMaxZoomScaleX))),
                   A - spare};
}

int32_t PaperFitScale(double DataMin, double DataMax, double WidthMm, double dXPerDiv,
                      uint16_t dXLen, int32_t ScaleX) {
  const double range = DataMax - DataMin;
  if (!(range > 0.0) || !(dXPerDiv > 0.0) || dXLen == 0 || !(WidthMm > 0.0)) {
    return ScaleX == 0 ? 10 : ScaleX;
  }
  const double exact = WidthMm * (dXPerDiv * 100.0) / dXLen / range;
  // Down, so the whole range stays within the width; a hair of tolerance keeps an exact
  // fit (180 mm for 180 mm) from losing a whole percent to the division's rounding.
  const double down = std::floor(exact * (1.0 + 1e-12));
  if (!(down >= 1.0)) return 1;
  if (down >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(down);
}

TScrollRange ScrollRange(double DataMin, double DataMax, const TXScale& S, double Dpi,
                         int32_t PlotWidthPx) {
  TScrollRange r;
  const int32_t width = std::max<int32_t>(PlotWidthPx, 0);
  r.PageStep = std::max<int32_t>(width, 1);
  r.SingleStep = std::max<int32_t>(width / 10, 1);
  if (!(Dpi > 0.0) || !(S.dXPerDiv > 0.0) || S.dXLen == 0 || S.ScaleX <= 0) return r;
  const double total =
      MmToPx(Dpi, ValueToMm(TXScale{DataMin, S.dXPerDiv, S.dXLen, S.ScaleX}, DataMax));
  if (!(total > width)) return r;
  const double over = std::ceil(total - width);
  r.Max = over >= static_cast<double>(std::numeric_limits<int32_t>::max())
              ? std::numeric_limits<int32_t>::max()
              : static_cast<int32_t>(over);
  return r;
}

double ScreenX0(double DataMin, int32_t ScrollPos, const TXScale& S, double Dpi) {
  return PxToValue(TXScale{DataMin, S.dXPerDiv, S.dXLen, S.ScaleX}, Dpi, ScrollPos);
}

int32_t ScrollPosOf(double DataMin, double X, const TXScale& S, double Dpi) {
  return RoundHalfEvenInt(
      MmToPx(Dpi, ValueToMm(TXScale{DataMin, S.dXPerDiv, S.dXLen, S.ScaleX}, X)));
}

TGraphRect ScreenPlotRect(int32_t PanelWidth, int32_t PanelHeight, int32_t BevelWidth,
                          int32_t CursorWidth, int32_t ValueLabelHeight, int32_t CharHeight,
                          int32_t VScrollWidth, int32_t HScrollHeight) {
  TGraphRect r;
  r.Left = 3 * CursorWidth / 2 + BevelWidth;
  r.Top = 5 * ValueLabelHeight / 4;
  r.Right = PanelWidth - BevelWidth - VScrollWidth - 3 * CursorWidth / 2;
  r.Bottom = PanelHeight - 2 * CharHeight - BevelWidth - HScrollHeight;
  return r;
}

double UsableWidthMm(int32_t PaperWidth, int32_t MarginLeft, int32_t MarginRight) {
  return static_cast<double>(int64_t{PaperWidth} - MarginLeft - MarginRight);
}

double TotalLengthMm(double DataMin, double DataMax, uint16_t dXLen, int32_t ScaleX,
                     double dXPerDiv) {
  if (dXPerDiv == 0.0) return 0.0;
  return (DataMax - DataMin) * DivisionMm(dXLen, ScaleX) / dXPerDiv;
}

int32_t HorizontalPageCount(double LengthMm, double UsableWidth) {
  if (!(UsableWidth > 0.0)) return 0;
  const double q = LengthMm / UsableWidth;
  if (!(q > 0.0) || !std::isfinite(q)) return 0;
  if (q >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  // A fraction no bigger than the rounding of the length's own arithmetic is none: a range
  // fitted to the paper (0 to 0,1 x 3 s is 0,30000000000000004) stays on its one sheet.
  const double t = std::trunc(q);
  return static_cast<int32_t>(t) + (q > t * (1.0 + 1e-12) ? 1 : 0);
}

double PageSpan(double UsableWidth, uint16_t dXLen, int32_t ScaleX, double dXPerDiv) {
  const double division = DivisionMm(dXLen, ScaleX);
  if (division == 0.0) return 0.0;
  return UsableWidth / division * dXPerDiv;
}

TVerticalSplit VerticalSplit(const std::vector<double>& Heights, int32_t Page, double TitleHeight,
                             double UsableWidth) {
  TVerticalSplit res;
  if (!(UsableWidth > 0.0)) return res;  // no room on the paper: no pages
  const size_t n = std::min<size_t>(Heights.size(), 65535);
  size_t first = 1;
  size_t last = 0;
  int32_t page = 1;
  double sum = 0.0;  // heights of first..last
  while (Page >= page && last < n) {
    ++last;
    sum += Heights[last - 1];
    if (last == n && sum + TitleHeight <= UsableWidth) {
      res.First = static_cast<uint16_t>(first);
      res.Last = static_cast<uint16_t>(last);
      res.Count = sum == 0.0 ? page - 1 : page;
      return res;
    }
    if (sum + TitleHeight > UsableWidth) {
      if (Page == page) {
        --last;  // this page ends before the series
      } else {
        first = last;
        sum = Heights[last - 1];
      }
      ++page;
    }
  }
  res.First = static_cast<uint16_t>(first);
  res.Last = static_cast<uint16_t>(last);
  // The walk ended without reaching a last page that fits: the page it stopped
  // at is the count (the last series then stands alone on it).
  res.Count = page;
  return res;
}

int32_t VerticalPageCount(const std::vector<double>& Heights, double TitleHeight,
                          double UsableWidth) {
  if (Heights.empty()) return 0;
  const auto n = static_cast<int32_t>(std::min<size_t>(Heights.size(), 65535));
  return VerticalSplit(Heights, n, TitleHeight, UsableWidth).Count;
}

TPagePosition PagePosition(int32_t Page, int32_t HorizontalCount) {
  if (HorizontalCount <= 0 || Page <= 0) return {};
  return {(Page - 1) / HorizontalCount + 1, (Page - 1) % HorizontalCount + 1};
}

TIntervalCheck CheckTimeInterval(TIntervalTimeType Type, uint16_t Value) {
  static const char* kOver = "OverRange.";
  switch (Type) {
    case TIntervalTimeType::None:
      break;
    case TIntervalTimeType::mSeconds:
      if (Value > 1000) return {1000, {"Maximum value is 1000 when MSeconds selected.", kOver}};
      if (Value < 100) {
        return {Value,
                {"Minimum value of 100 when MSeconds selected is recommended for accuracy.",
                 "Over Range."}};
      }
      break;
    case TIntervalTimeType::Seconds:
      if (Value > 60) return {60, {"Maximum value is 60 when Seconds selected.", kOver}};
      break;
    case TIntervalTimeType::Minutes:
      if (Value > 60) return {60, {"Maximum value is 60 when Minutes selected.", kOver}};
      break;
    case TIntervalTimeType::Hours:
      if (Value > 24) return {24, {"Maximum value is 24 when Hours selected.", kOver}};
      break;
  }
  return {Value, {}};
}

uint16_t IntervalForNewType(TIntervalTimeType Type, uint16_t Current) {
  switch (Type) {
    case TIntervalTimeType::None:
      return Current;
    case TIntervalTimeType::mSeconds:
      return Current < 100 ? 100 : Current;
    case TIntervalTimeType::Seconds:
    case TIntervalTimeType::Minutes:
      return Current > 60 ? 1 : Current;
    case TIntervalTimeType::Hours:
      return Current > 24 ? 1 : Current;
  }
  return Current;
}

std::string CursorValueText(double V) {
  if (!std::isfinite(V)) return "";
  char text[64];
  // Seven significant digits first, then three decimals of that. From 10 000 s on, seven
  // digits would end the readout in a millisecond digit that is always 0, a time that looks
  // exact and is not: there the millisecond itself is shown.
  std::snprintf(text, sizeof text, "%.6e", V);
  const double r = std::strtod(text, nullptr);
  if (std::fabs(r) >= 1e7) {
    std::snprintf(text, sizeof text, "%.6E", r);
  } else if (std::fabs(V) >= 1e4) {
    std::snprintf(text, sizeof text, "%.3f", V);
  } else {
    std::snprintf(text, sizeof text, "%.3f", r);
  }
  std::string s = text;
  for (char& c : s) {
    if (c == '.') c = ',';
  }
  if (s == "-0,000") s = "0,000";
  return s;
}

TCopySpan CopySpan(bool WholeRange, double DataMin, double DataMax, double Cursor1,
                   double Cursor2) {
  if (WholeRange) return {DataMin, DataMax};
  return {std::min(Cursor1, Cursor2), std::max(Cursor1, Cursor2)};
}

TCopyLayout CopyLayout(const std::vector<double>& BandHeightsMm, double TitleHeightMm,
                       int32_t SpanPx, double DpiX, double DpiY, int32_t RightRoomPx,
                       int32_t LeftRoomPx) {
  TCopyLayout res;
  const int32_t left = Saturate(10 + int64_t{std::max(0, LeftRoomPx)});
  TGraphRect r{left, 10, left, 10};
  int64_t bottom = r.Bottom;
  for (double h : BandHeightsMm) bottom += RoundHalfEvenInt(MmToPx(DpiY, h));
  if (bottom == r.Top) return res;
  const int32_t title = RoundHalfEvenInt(MmToPx(DpiX, TitleHeightMm));
  bottom += title;
  r.Right = Saturate(int64_t{r.Right} + SpanPx);
  r.Bottom = Saturate(bottom);
  res.Width = Saturate(int64_t{r.Right} + std::max(0, RightRoomPx));
  res.Height = r.Bottom;
  r.Bottom = Saturate(int64_t{r.Bottom} - title);
  res.Draw = r;
  return res;
}

// ---------------------------------------------------------------------------
// State changes

namespace {

std::string LookText(const TGraphPoint& P) {
  return ColorToHex(P.Color) + "/" + std::to_string(P.PenStyle) + "/" + std::to_string(P.Thickness);
}

std::string StateOf(const TGraphPoint& P, const TStateNamer& Namer) {
  return Namer ? Namer(P) : LookText(P);
}

// The changes of one series within XA..XB, in time order.
void SeriesChanges(const TGraphModel& G, uint16_t Row, double XA, double XB,
                   const TStateNamer& Namer, std::vector<TStateChange>& Out) {
  const uint16_t n = G.PointCount(Row);
  if (n < 2) return;
  std::string before = StateOf(G.Point(Row, 1), Namer);
  for (uint32_t k = 2; k <= n; ++k) {
    const TGraphPoint p = G.Point(Row, static_cast<uint16_t>(k));
    std::string after = StateOf(p, Namer);
    if (after != before) {
      if (p.X >= XA && p.X <= XB) {
        Out.push_back({p.X, Row, G.GetRowName(Row), before, after, 0.0});
      }
      before = std::move(after);
    }
    if (p.X > XB) break;
  }
}

}  // namespace

std::vector<TStateChange> StateChanges(const TGraphModel& Graph, double XA, double XB,
                                       const TStateNamer& Namer) {
  if (XB < XA) std::swap(XA, XB);
  std::vector<TStateChange> out;
  for (uint32_t r = 1; r <= Graph.SeriesCount(); ++r) {
    const auto row = static_cast<uint16_t>(r);
    if (Graph.SeriesHeightMm(row) <= 0.0) continue;  // not drawn
    SeriesChanges(Graph, row, XA, XB, Namer, out);
  }
  std::stable_sort(out.begin(), out.end(), [](const TStateChange& a, const TStateChange& b) {
    return a.X != b.X ? a.X < b.X : a.Row < b.Row;
  });
  for (size_t i = 1; i < out.size(); ++i) out[i].SincePrevious = out[i].X - out[i - 1].X;
  return out;
}

std::vector<std::string> StateChangeLines(const std::vector<TStateChange>& Changes) {
  std::vector<std::string> lines;
  lines.push_back("Time [s]\tSeries\tChange\tSince previous [s]");
  for (size_t i = 0; i < Changes.size(); ++i) {
    const TStateChange& c = Changes[i];
    lines.push_back(CursorValueText(c.X) + "\t" + c.Series + "\t" + c.Before + " → " + c.After +
                    "\t" + (i == 0 ? std::string("-") : CursorValueText(c.SincePrevious)));
  }
  return lines;
}

std::optional<double> NearestChange(const TGraphModel& Graph, const std::vector<uint16_t>& Rows,
                                    double X, double Tolerance, const TStateNamer& Namer) {
  std::optional<double> best;
  if (!(Tolerance >= 0.0)) return best;
  std::vector<TStateChange> changes;
  for (uint16_t r : Rows) {
    if (r == 0 || r > Graph.SeriesCount()) continue;
    SeriesChanges(Graph, r, X - Tolerance, X + Tolerance, Namer, changes);
  }
  for (const TStateChange& c : changes) {
    if (!best || std::fabs(c.X - X) < std::fabs(*best - X)) best = c.X;
  }
  return best;
}

// ---------------------------------------------------------------------------
// TGraphModel

TGraphModel::TGraphModel() = default;
TGraphModel::~TGraphModel() = default;

void TGraphModel::Notify(TGraphChange C) const {
  if (OnChange) OnChange(C);
}

void TGraphModel::Redraw() const {
  if (!locked_) Notify(TGraphChange::Redraw);
}

void TGraphModel::BeginUpdate() {
  locked_ = true;
}

void TGraphModel::EndUpdate() {
  locked_ = false;
  Notify(TGraphChange::Layout);
  if (autoscale_) scaleX_ = FitScale(true);
  SetScaleX(scaleX_);
}

void TGraphModel::Clear() {
  PointMatrix.SetRowCount(0);
  SeriesMatrix.SetRowCount(0);
  dataMin_ = 0.0;
  dataMax_ = 0.0;
  Redraw();
}

bool TGraphModel::AddPoint(uint16_t Row, const TGraphPoint& Point) {
  if (Row == 0) return false;
  const uint16_t len = PointMatrix.RowLength(Row);
  if (len == std::numeric_limits<uint16_t>::max()) return false;
  uint8_t buf[kGraphPointSize];
  EncodeGraphPoint(Point, buf);
  PointMatrix.SetElement(buf, Row, static_cast<uint16_t>(len + 1), kGraphPointSize);
  if (!PointMatrix.LastError.empty()) return false;
  bool widened = false;
  if (Point.X > dataMax_) {
    dataMax_ = Point.X;
    widened = true;
  }
  if (Point.X < dataMin_) {
    dataMin_ = Point.X;
    widened = true;
  }
  if (widened && !locked_) {
    SetScaleX(scaleX_);  // redraws
  } else {
    Redraw();
  }
  return true;
}

void TGraphModel::SetRowName(uint16_t Row, const std::string& Name) {
  if (Row == 0) return;
  const size_t n = std::min(Name.size(), kMaxSeriesName);
  std::vector<uint8_t> buf(n + 1, 0);
  std::memcpy(buf.data(), Name.data(), n);
  SeriesMatrix.SetElement(buf.data(), Row, kSeriesColName, static_cast<uint16_t>(buf.size()));
}

std::string TGraphModel::GetRowName(uint16_t Row) const {
  const uint8_t* p = SeriesMatrix.ElementPtr(Row, kSeriesColName);
  if (p == nullptr) return "Wykres " + std::to_string(Row);
  const uint16_t size = SeriesMatrix.ElementSize(Row, kSeriesColName);
  const auto* chars = reinterpret_cast<const char*>(p);
  return std::to_string(Row) + ". " + std::string(chars, strnlen(chars, size));
}

uint16_t TGraphModel::PointCount(uint16_t Row) const {
  return PointMatrix.RowLength(Row);
}

TGraphPoint TGraphModel::Point(uint16_t Row, uint16_t Col) const {
  const uint8_t* p = PointMatrix.ElementPtr(Row, Col);
  if (p == nullptr || PointMatrix.ElementSize(Row, Col) < kGraphPointSize) return {};
  return DecodeGraphPoint(p);
}

uint16_t TGraphModel::LastPointAtOrBefore(uint16_t Row, double X) const {
  for (uint16_t k = PointCount(Row); k >= 1; --k) {
    const uint8_t* p = PointMatrix.ElementPtr(Row, k);
    if (p != nullptr && PointMatrix.ElementSize(Row, k) >= kGraphPointSize && GetDoubleLE(p) <= X) {
      return k;
    }
  }
  return 0;
}

bool TGraphModel::RowShown(uint16_t Row) const {
  const uint8_t* p = SeriesMatrix.ElementPtr(Row, kSeriesColShown);
  return p == nullptr || p[0] != 0;
}

void TGraphModel::SetRowShown(uint16_t Row, bool Shown) {
  if (Row == 0) return;
  const uint8_t b = Shown ? 1 : 0;
  SeriesMatrix.SetElement(&b, Row, kSeriesColShown, 1);
}

bool TGraphModel::RowSelected(uint16_t Row) const {
  const uint8_t* p = SeriesMatrix.ElementPtr(Row, kSeriesColSelected);
  return p != nullptr && p[0] != 0;
}

void TGraphModel::SetRowSelected(uint16_t Row, bool Selected) {
  if (Row == 0 || Row > SeriesCount() || RowSelected(Row) == Selected) return;
  const uint8_t b = Selected ? 1 : 0;
  SeriesMatrix.SetElement(&b, Row, kSeriesColSelected, 1);
}

uint16_t TGraphModel::SelectedCount() const {
  uint16_t n = 0;
  for (uint32_t r = 1; r <= SeriesCount(); ++r) n += RowSelected(static_cast<uint16_t>(r));
  return n;
}

void TGraphModel::SelectAll(bool Selected) {
  for (uint32_t r = SeriesCount(); r >= 1; --r) SetRowSelected(static_cast<uint16_t>(r), Selected);
}

TGraphRect TGraphModel::RowBand(uint16_t Row) const {
  const uint8_t* p = SeriesMatrix.ElementPtr(Row, kSeriesColBand);
  if (p == nullptr || SeriesMatrix.ElementSize(Row, kSeriesColBand) < kBandSize) return {};
  return {GetInt32LE(p), GetInt32LE(p + 4), GetInt32LE(p + 8), GetInt32LE(p + 12)};
}

void TGraphModel::SetRowBand(uint16_t Row, const TGraphRect& Band) {
  if (Row == 0 || Row > SeriesCount()) return;
  if (Band.Empty() && SeriesMatrix.ElementPtr(Row, kSeriesColBand) == nullptr) return;
  uint8_t buf[kBandSize];
  PutInt32LE(buf, Band.Left);
  PutInt32LE(buf + 4, Band.Top);
  PutInt32LE(buf + 8, Band.Right);
  PutInt32LE(buf + 12, Band.Bottom);
  SeriesMatrix.SetElement(buf, Row, kSeriesColBand, kBandSize);
}

void TGraphModel::ClearBands() {
  for (uint32_t r = 1; r <= SeriesCount(); ++r) SetRowBand(static_cast<uint16_t>(r), {});
}

uint16_t TGraphModel::RowAtPoint(int32_t X, int32_t Y) const {
  if (!PlotRect.Contains(X, Y)) return 0;
  for (uint32_t r = SeriesCount(); r >= 1; --r) {
    const TGraphRect band = RowBand(static_cast<uint16_t>(r));
    if (!band.Empty() && band.Contains(X, Y)) return static_cast<uint16_t>(r);
  }
  return 0;
}

double TGraphModel::SeriesHeightMm(uint16_t Row) const {
  return (PointCount(Row) > 0 && RowShown(Row)) ? RowHeight : 0.0;
}

std::vector<double> TGraphModel::SeriesHeights() const {
  std::vector<double> h(SeriesCount());
  for (size_t r = 1; r <= h.size(); ++r) h[r - 1] = SeriesHeightMm(static_cast<uint16_t>(r));
  return h;
}

bool TGraphModel::SetDataMinRange(double V) {
  if (!(V != dataMin_ && V < dataMax_)) return false;
  dataMin_ = V;
  Redraw();
  return true;
}

bool TGraphModel::SetDataMaxRange(double V) {
  if (!(V != dataMax_ && V - dataMin_ > 9.0)) return false;
  dataMax_ = V;
  Redraw();
  return true;
}

TGraphMessage TGraphModel::SetDataTimeInterval(uint16_t V) {
  TIntervalCheck c = CheckTimeInterval(timeType_, V);
  interval_ = c.Value;
  Redraw();
  return c.Message;
}

TGraphMessage TGraphModel::SetDataTimeType(TIntervalTimeType T) {
  if (T == timeType_) return {};
  timeType_ = T;
  if (T == TIntervalTimeType::None) {
    Redraw();  // the unit text goes
    return {};
  }
  return SetDataTimeInterval(IntervalForNewType(T, interval_));
}

void TGraphModel::SetDataBackGround(TGraphColor C) {
  if (C == background_) return;
  background_ = C;
  Redraw();
}

void TGraphModel::SetScaleX(int32_t V) {
  scaleX_ = V;
  Notify(TGraphChange::Scale);
  Redraw();
}

void TGraphModel::SetAutoscale(bool V) {
  autoscale_ = V;
  if (!V) return;
  const int32_t f = FitScale(true);
  if (f != scaleX_) SetScaleX(f);
  // Fitted, the whole range is on screen from its start, wherever it was scrolled to.
  Notify(TGraphChange::Home);
}

int32_t TGraphModel::FitScale(bool FitToPlot) const {
  return ::FitScale(dataMin_, dataMax_, scaleX_, FitToPlot, PlotRect.Width(), ScreenDpiX, dXPerDiv,
                    dXLen);
}

double TGraphModel::ScreenLeftValue(int32_t ScrollPos) const {
  return ScreenX0(dataMin_, ScrollPos, XScale(dataMin_), ScreenDpiX);
}

TScrollRange TGraphModel::ScreenScrollRange() const {
  return ScrollRange(dataMin_, dataMax_, XScale(dataMin_), ScreenDpiX, PlotRect.Width());
}

double TGraphModel::PixelToValue(int32_t Px, int32_t ScrollPos) const {
  return PxToValue(XScale(ScreenLeftValue(ScrollPos)), ScreenDpiX,
                   static_cast<double>(int64_t{Px} - PlotRect.Left));
}

int32_t TGraphModel::HorizontalPages() const {
  return HorizontalPageCount(TotalLengthMm(PrintMin(), PrintMax(), dXLen, scaleX_, dXPerDiv),
                             UsableWidthMm(PaperWidth, MarginLeft, MarginRight));
}

double TGraphModel::PageSpanX() const {
  return PageSpan(UsableWidthMm(PaperWidth, MarginLeft, MarginRight), dXLen, scaleX_, dXPerDiv);
}

int32_t TGraphModel::VerticalPages() const {
  return VerticalPageCount(SeriesHeights(), TitleHeight,
                           UsableWidthMm(PaperWidth, MarginLeft, MarginRight));
}

int32_t TGraphModel::Pages() const {
  if (SeriesCount() == 0) return 0;
  return Saturate(int64_t{VerticalPages()} * HorizontalPages());
}

TVerticalSplit TGraphModel::SplitForPage(int32_t Band) const {
  return VerticalSplit(SeriesHeights(), Band, TitleHeight,
                       UsableWidthMm(PaperWidth, MarginLeft, MarginRight));
}
