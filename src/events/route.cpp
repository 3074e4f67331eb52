#include "route.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "decoders.h"
#include "eventtables.h"
#include "evtext.h"
#include "lister.h"

namespace {

constexpr uint8_t kStateAmbiguous = 2;
constexpr uint8_t kStateUnknown = 3;
// Steps start a little before the first event and end a little after the last one, so
// that a change at the very start or end is still visible.
constexpr double kLeadIn = -0.2;
constexpr double kLeadOut = 0.2;

struct TNamedSignal {
  int signal;
  const char* name;
};

// Signals 8 and 9 exist with an empty name; every other signal missing here is unnamed.
constexpr TNamedSignal kSignalNames[] = {
    {1, "CA State"},
    {2, "CR State"},
    {3, "CB State"},
    {4, "VA"},
    {5, "VbusA"},
    {6, "VB"},
    {7, "VbusB"},
    {8, ""},
    {9, ""},
    {10, "Auxiliary voltage"},
    {11, "SA Key"},
    {12, "Permission on AS CBA>CBR and CBB>CBR"},
    {13, "Permission on AS CBA>CBB and CBB>CBA"},
    {14, "Permission on ARS"},
    {15, "Transient blocking section A"},
    {16, "Transient blocking section B"},
    {17, "Permanent blocking section A"},
    {18, "Permanent blocking section B"},
    {19, "Signal initiating PSS CBA>CBR or CBR>CBA"},
    {20, "Signal initiating PSS CBB>CBR or CBR>CBB"},
    {21, "Signal initiating PSS CBA>CBB or CBB>CBA"},
    {22, "Signal external initiating AS CBA>CBR or CBA>CBB"},
    {23, "Bay switching CBA"},
    {24, "Signal external turn off CBA"},
    {25, "VP2 exceeded value on CBA above 2.4V"},
    {26, "Signal parset change"},
    {27, "Bay switching CBR"},
    {28, "Signal turn off CBR"},
    {29, "VP2 exceeded value on CBR above 2.4V"},
    {30, "Signal external initiating AS CBB>CBR or CBB>CBA"},
    {31, "Bay switching CBB"},
    {32, "Signal external turn off CBB"},
    {33, "VP2 exceeded value on CBB above 2.4V"},
    {34, "Relay state V<t section B st. 2"},
    {35, "Relay state V<t section B st. 1"},
    {36, "Relay state V<t section A st. 2"},
    {37, "Relay state V<t section A st. 1"},
    {38, "Turn on impulse CBA (breakless track)"},
    {39, "Turn on impulse CBA (track with break)"},
    {40, "Turn off impulse CBA"},
    {41, "Impulse \"load-shadding section A\""},
    {42, "Relayll state BLK S.A.W. on PSS CBA"},
    {43, "Turn on CBR (breakless track)"},
    {44, "Turn on impulse CBR (track with break)"},
    {45, "Turn off impulse CBR"},
    {46, "Signalling turn on \"unit work\""},
    {47, "Relay state BLK S.A.W on PSS CBR"},
    {48, "Turn on impulse CBB (breakless track)"},
    {49, "Turn on impulse CBB (track with break)"},
    {50, "Turn off impulse CBB"},
    {51, "Impulse \"load-shadding section B\""},
    {52, "Relay state BLK S.A.W. on PSS CBB"},
    {53, "SA SYS Key"},
    {54, "PARSET SYS CHANGE"},
    {55, "PERMISSION ON AS CBA>CBR AND CBB>CBR SYS"},
    {56, "PERMISSION ON AS CBA>CBB AND CBB>CBA SYS"},
    {57, "PERMISSION ON ARS SYS"},
    {58, "TRANSIENT BLOCKING S.A SYS"},
    {59, "TRANSIENT BLOCKING S.B SYS"},
    {60, "PERMANENT BLOCKING S.A SYS"},
    {61, "PERMANENT BLOCKING S.B SYS"},
    {64, "CM State"},
    {65, "CR State"},
    {66, "Vr "},
    {67, "Vbus"},
    {68, "Vm"},
    {74, "Auxiliary voltage"},
    {75, "SA Key"},
    {76, "Permission on AS CM>CM"},
    {77, "Permission on AS CM>CM"},
    {78, "Permission on ARS"},
    {79, "Transient blocking"},
    {80, "Permanent blocking"},
    {81, "Start PSS CBM>CBR or CBR>CBM"},
    {82, "Signal external initiating AS CBM>CBR"},
    {83, "Signal external initiating AS CBR>CBM"},
    {84, "VP2 exceeded value on KIVS_Z above 22V"},
    {85, "Bay switching CBM"},
    {86, "Signal external turn off CBM"},
    {87, "VP2 exceeded value on CBM above 2.4V"},
    {88, "Signal parset change"},
    {89, "Bay switching CBR"},
    {90, "Zewnętrzny sygnał wyłączający WR"},
    {91, "VP2 exceeded value on CBB above 2.4V"},
    {92, "Relay state V<t section B st. 2"},
    {93, "Relay state V<t section B st. 1"},
    {94, "Signalling turn on \"unit work\""},
    {95, "Turn on impulse CBM (breakless track)"},
    {96, "Turn on impulse CBM (track with break)"},
    {97, "Turn off impulse CBM"},
    {98, "Impulse \"load-shadding\""},
    {99, "Turn on impulse CBR (breakless track)"},
    {100, "Turn on impulse CBR (track with break)"},
    {101, "Turn off impulse CBR"},
    {102, "SA SYS Key"},
    {103, "CHANGE PARSET SYS"},
    {104, "PERMISSION ON AS CBM>CBR SYS"},
    {105, "PERMISSION ON AS CBR>CBM SYS"},
    {106, "PERMISSION ON ARS SYS"},
    {107, "TRANSIENT BLOCKING SYS"},
    {108, "PERMANENT BLOCKING SYS"},
    {109, "START PSS SYS"},
    {110, "EXT. INIT. AS CBM>CBR SYS"},
    {111, "EXT. INIT. AS CBR>CBM SYS"},
    {114, "SA SYS Key"},
    {115, "CHANGE PARSET LOG"},
    {116, "PERMISSION ON AS CBM>CBR LOG"},
    {117, "PERMISSION ON AS CBM>CBR LOG"},
    {118, "PERMISSION ON ARS LOG"},
    {119, "TRANSIENT BLOCKING LOG"},
    {120, "PERMANENT BLOCKING LOG"},
    {121, "START PSS LOG"},
    {122, "EXT. INIT. AS CBM>CBR LOG"},
    {123, "EXT. INIT. AS CBR>CBM LOG"},
    {134, "Signal initiating START PSS CBA>CBR or CBR>CBA SYS"},
    {135, "Signal initiating START PSS CBB>CBR or CBR>CBB SYS"},
    {136, "Signal initiating START PSS CBA>CBB or CBB>CBA SYS"},
    {137, "Signal EXT. INIT. AS CBA>CBR or CBA>CBB SYS"},
    {138, "Signal EXT. INIT. AS CBB>CBR or CBB>CBA SYS"},
    {139, "SA LOG Key"},
    {140, "CHANGE PARSET LOG"},
    {141, "PERMISSION ON AS CBA>CBR and CBB>CBR LOG"},
    {142, "PERMISSION ON AS CBA>CBB and CBB>CBA LOG"},
    {143, "PERMISSION ON ARS LOG"},
    {144, "TRANSIENT BLOCKING S.A LOG"},
    {145, "TRANSIENT BLOCKING S.B LOG"},
    {146, "PERMANENT BLOCKING S.A LOG"},
    {147, "PERMANENT BLOCKING S.B LOG"},
    {148, "START PSS CBA>CBR or CBR>CBA LOG"},
    {149, "START PSS CBB>CBR or CBR>CBB LOG"},
    {150, "START PSS CBA>CBB or CBB>CBA LOG"},
    {151, "EXT. INIT. AS CBA>CBR or CBA>CBB LOG"},
    {152, "EXT. INIT. AS CBA>CBR or CBA>CBB LOG"},
    {153, "Command from SN: Turn on with permission CBA"},
    {154, "Command from SN: Turn on with permission CBR"},
    {155, "Command from SN: Turn on with permission CBB"},
    {156, "Command from SN: Turn on without permission CBA"},
    {157, "Command from SN: Turn on without permission CBR"},
    {158, "Command from SN: Turn on without permission CBB"},
    {159, "Command from SN: Turn off CBA"},
    {160, "Command from SN: Turn off CBR"},
    {161, "Command from SN: Turn off CBB"},
    {166, "Command from SN: Turn on with permission CBM"},
    {167, "Command from SN: Turn on with permission CBR"},
    {168, "Command from SN: Turn on without permission CBM"},
    {169, "Command from SN: Turn on without permission CBR"},
    {170, "Command from SN: Turn off CBM"},
    {171, "Command from SN: Turn off CBR"},
};

using TSignalTable = std::array<TRouteSignal, kRouteSignalCount>;

TSignalTable MakeSignalTable() {
  TSignalTable t;
  t.fill(TRouteSignal{"", 0, rstNone});
  for (const TNamedSignal& n : kSignalNames) t[n.signal] = TRouteSignal{n.name, 0, rstLevels};
  // Switch positions and voltage ranges are always drawn: their state matters even when
  // it never changes.
  for (int s : {1, 2, 3, 64, 65}) t[s].Keep = 1, t[s].Type = rstSwitch;
  for (int s : {4, 5, 6, 7, 66, 67, 68}) t[s].Keep = 1;
  return t;
}

const TSignalTable& SignalTable() {
  static const TSignalTable table = MakeSignalTable();
  return table;
}

// Switchgear state snapshot: which bit of which byte feeds the signal of which code.
enum TSnapValue : uint8_t { svBit, svInverted, svPair };
struct TSnapRow {
  uint8_t byte;
  uint8_t bit;
  TSnapValue how;
  uint8_t code;  // the row is this code's route signal in the device's table
};
constexpr TSnapRow kSnapshot[] = {
    {15, 0, svBit, 0x00}, {15, 2, svBit, 0x04},  {15, 4, svBit, 0x08},      {15, 5, svBit, 0x0A},
    {15, 6, svBit, 0x0C}, {15, 7, svBit, 0x0E},  {14, 0, svBit, 0x10},      {14, 1, svBit, 0x12},
    {14, 2, svBit, 0x14}, {14, 3, svBit, 0x16},  {14, 4, svBit, 0x18},      {14, 5, svBit, 0x1A},
    {13, 0, svBit, 0x20}, {13, 2, svPair, 0x24}, {13, 4, svInverted, 0x28}, {13, 5, svBit, 0x2A},
    {12, 0, svBit, 0x30}, {12, 2, svPair, 0x34}, {12, 4, svInverted, 0x38}, {12, 5, svBit, 0x3A},
    {11, 0, svBit, 0x40}, {11, 2, svPair, 0x44}, {11, 4, svInverted, 0x48}, {11, 5, svBit, 0x4A},
    {10, 0, svBit, 0x80}, {10, 2, svBit, 0x84},  {10, 4, svBit, 0x88},      {10, 6, svBit, 0x8C},
};

bool FromSnapshot(uint32_t code) {
  return code == kCodeSwitchgearState || code == kCodeVoltagesState;
}

uint8_t Opposite(uint8_t v) {
  if (v == 0) return 1;
  if (v == 1) return 0;
  return v;
}

uint8_t SwitchState(uint8_t x, uint8_t y) {
  return x == y ? x : kStateAmbiguous;
}

uint8_t ByteOf(const uint8_t* rec, int len, int index) {
  return index < len ? rec[index] : 0;
}

class TRouteBuilder {
 public:
  TRouteBuilder(const TRouteInput& in, TKivMatrix& route, TGraphModel& graph)
      : in_(in), route_(route), graph_(graph) {}

  void Run() {
    route_.SetRowCount(0);
    graph_.BeginUpdate();
    graph_.Clear();
    CollectPoints();
    for (int s = 1; s <= kLastRouteSignal; ++s) {
      if (route_.RowLength(static_cast<uint16_t>(s)) > 0) BuildSeries(s);
    }
    graph_.EndUpdate();
  }

 private:
  const uint8_t* Def(uint8_t code) const { return in_.EventDefs + code * kEventDefSize; }

  void Append(int signal, double time, uint32_t code, uint8_t value) {
    if (signal <= 0 || signal > kLastRouteSignal) return;
    const auto row = static_cast<uint16_t>(signal);
    uint8_t block[kRoutePointSize];
    EncodeRoutePoint(TRoutePoint{time, code, value}, block);
    route_.SetElement(block, row, static_cast<uint16_t>(route_.RowLength(row) + 1),
                      kRoutePointSize);
  }

  void CollectPoints() {
    const TOgmMatrix& events = *in_.Events;
    const uint16_t n = events.RowLength(in_.Row);
    // The opening switchgear state first, as the state the sequence starts from, then every
    // other event in time order: the lister swaps the snapshot to the front, moving the
    // event that stood there behind later ones, and the time corrections may date events
    // (the voltages state above all) before the snapshot.
    order_.clear();
    for (uint16_t j = 1; j <= n; ++j) order_.push_back(j);
    const uint8_t* first = n > 0 ? events.ElementPtr(in_.Row, 1) : nullptr;
    const bool opening = first != nullptr && first[0] == kCodeSwitchgearState;
    std::stable_sort(order_.begin() + (opening ? 1 : 0), order_.end(),
                     [this](uint16_t a, uint16_t b) { return EventTime(a) < EventTime(b); });
    span_ = 0.0;
    for (const uint16_t j : order_) {
      const uint8_t* rec = events.ElementPtr(in_.Row, j);
      const uint16_t size = events.ElementSize(in_.Row, j);
      if (rec == nullptr || size == 0) continue;
      const uint8_t code = rec[0];
      const uint8_t* def = Def(code);
      const uint8_t kind = def[kEvDefKind];
      if (in_.Kivs3 && (kind == kKindSysLogA || kind == kKindSysLogB) && !in_.ImplementsSysLogick)
        continue;
      const int len = size >= 8 ? size - 8 : 0;  // the record without its time
      const double t = SecondsSinceStart(EventTime(j), in_.Start);
      span_ = std::max(span_, t);
      const uint8_t signal = def[kEvDefSignal];
      const bool listed = def[kEvDefShown] == 1 || in_.ShowAllEvents;
      if (signal != 0 && listed) {
        Append(signal, t, code, def[kEvDefValue]);
      } else if (code == kCodeVoltagesState) {
        AppendVoltages(rec, len, t);
      } else if (code == kCodeSwitchgearState) {
        for (const TSnapRow& r : kSnapshot) {
          const uint8_t b = ByteOf(rec, len, r.byte);
          uint8_t value = 0;
          switch (r.how) {
            case svBit:
              value = (b >> r.bit) & 1;
              break;
            case svInverted:
              value = ((b >> r.bit) & 1) ^ 1;
              break;
            case svPair:
              value = SwitchPairState(b);
              break;
          }
          Append(Def(r.code)[kEvDefSignal], t, code, value);
        }
      }
    }
  }

  void AppendVoltages(const uint8_t* rec, int len, double t) {
    auto range = [&](int a, int b) {
      return VoltageRangeCode(ByteOf(rec, len, a), ByteOf(rec, len, b));
    };
    if (in_.Kivs3) {
      Append(4, t, kCodeVoltagesState, range(8, 8));
      Append(5, t, kCodeVoltagesState, range(4, 6));
      Append(6, t, kCodeVoltagesState, range(7, 7));
      Append(7, t, kCodeVoltagesState, range(3, 5));
    } else {
      Append(66, t, kCodeVoltagesState, range(3, 5));
      Append(67, t, kCodeVoltagesState, range(4, 6));
      Append(68, t, kCodeVoltagesState, range(8, 8));
    }
  }

  double EventTime(uint16_t col) const {
    const uint8_t* rec = in_.Events->ElementPtr(in_.Row, col);
    const uint16_t size = in_.Events->ElementSize(in_.Row, col);
    return rec != nullptr && size >= kEventTimeSize ? GetDoubleLE(rec + size - kEventTimeSize)
                                                    : 0.0;
  }

  void AddStep(double x, uint8_t state) {
    TGraphPoint p = StepTemplate(state);
    p.X = x;
    graph_.AddPoint(row_, p);
    lastState_ = state;
  }

  void BuildSeries(int signal) {
    const auto srow = static_cast<uint16_t>(signal);
    const uint16_t n = route_.RowLength(srow);
    points_.clear();
    for (uint16_t c = 1; c <= n; ++c) {
      const uint8_t* p = route_.ElementPtr(srow, c);
      if (p != nullptr && route_.ElementSize(srow, c) >= kRoutePointSize)
        points_.push_back(DecodeRoutePoint(p));
    }
    const TRouteSignal& info = RouteSignal(signal);
    row_ = static_cast<uint16_t>(graph_.SeriesCount() + 1);
    if (!points_.empty() && !Unmoved(info)) {
      if (info.Type == rstLevels) {
        BuildLevels();
      } else if (info.Type == rstSwitch) {
        BuildSwitch();
      }
    }
    // A signal that drew nothing leaves the series count as it was, so the next signal
    // takes this row and its name replaces this one.
    graph_.SetRowName(row_, info.Name);
  }

  // A signal that only ever repeats its first snapshot is not worth a series unless kept.
  bool Unmoved(const TRouteSignal& info) const {
    if (info.Keep != 0 || !FromSnapshot(points_.front().Code)) return false;
    for (const TRoutePoint& p : points_)
      if (p.Value != points_.front().Value) return false;
    return true;
  }

  void BuildLevels() {
    const TRoutePoint& first = points_.front();
    if (FromSnapshot(first.Code)) {
      AddStep(kLeadIn, first.Value);
    } else {
      AddStep(kLeadIn, Opposite(first.Value));
      AddStep(first.Time, first.Value);
    }
    for (size_t i = 1; i < points_.size(); ++i) AddStep(points_[i].Time, points_[i].Value);
    AddStep(span_ + kLeadOut, points_.back().Value);
  }

  // The last point of one contact of the switch.
  struct TMemory {
    bool filled = false;
    TRoutePoint p;
  };

  static uint32_t ContactCode(uint32_t code) { return FromSnapshot(code) ? code : code & ~1u; }

  void Update(TMemory& a, TMemory& b, const TRoutePoint& q) {
    if (FromSnapshot(q.Code)) {
      a = b = TMemory{true, q};
    } else if (a.filled && (FromSnapshot(a.p.Code) || a.p.Code == q.Code)) {
      a = TMemory{true, q};
    } else {
      b = TMemory{true, q};
    }
  }

  void BuildSwitch() {
    // Both contacts of a pair are one contact code with the lowest bit cleared.
    for (TRoutePoint& p : points_) p.Code = ContactCode(p.Code);
    TMemory a, b;
    size_t i = 0;
    const TRoutePoint* lastRead = nullptr;
    while (i < points_.size() && !(a.filled && b.filled)) {
      Update(a, b, points_[i]);
      lastRead = &points_[i];
      ++i;
    }
    if (lastRead != nullptr && FromSnapshot(lastRead->Code)) {
      AddStep(kLeadIn, lastRead->Value);
    } else if (a.filled && b.filled) {
      const uint8_t na = Opposite(a.p.Value);
      const uint8_t nb = Opposite(b.p.Value);
      AddStep(kLeadIn, SwitchState(na, nb));
      if (a.p.Time == b.p.Time) {
        AddStep(a.p.Time, SwitchState(a.p.Value, b.p.Value));
      } else if (a.p.Time < b.p.Time) {
        AddStep(a.p.Time, SwitchState(a.p.Value, nb));
        AddStep(b.p.Time, SwitchState(a.p.Value, b.p.Value));
      } else {
        AddStep(b.p.Time, SwitchState(na, b.p.Value));
        AddStep(a.p.Time, SwitchState(a.p.Value, b.p.Value));
      }
    } else {
      AddStep(kLeadIn, kStateUnknown);
    }
    for (; i < points_.size(); ++i) {
      Update(a, b, points_[i]);
      AddStep(points_[i].Time,
              a.filled && b.filled ? SwitchState(a.p.Value, b.p.Value) : kStateAmbiguous);
    }
    AddStep(span_ + kLeadOut, lastState_);
  }

  const TRouteInput& in_;
  TKivMatrix& route_;
  TGraphModel& graph_;
  double span_ = 0.0;            // D: seconds from the sequence start to the last event
  std::vector<uint16_t> order_;  // the sequence's columns in time order
  uint16_t row_ = 0;             // the graph series being built
  uint8_t lastState_ = 0;
  std::vector<TRoutePoint> points_;
};

}  // namespace

const TRouteSignal& RouteSignal(int signal) {
  const TSignalTable& t = SignalTable();
  return signal >= 0 && signal <= kLastRouteSignal ? t[signal] : t[0];
}

TGraphPoint StepTemplate(int state) {
  struct TStep {
    TGraphColor color;
    uint8_t pen;
    uint8_t thickness;
  };
  static constexpr TStep kSteps[9] = {
      {MakeColor(0, 0, 0), kPenSolid, 3},      {MakeColor(255, 0, 0), kPenSolid, 15},
      {MakeColor(255, 255, 0), kPenSolid, 15}, {MakeColor(0, 0, 0), kPenDot, 3},
      {MakeColor(0, 0, 0), kPenSolid, 3},      {MakeColor(255, 0, 0), kPenSolid, 6},
      {MakeColor(255, 255, 0), kPenSolid, 9},  {MakeColor(0, 128, 0), kPenSolid, 12},
      {MakeColor(0, 128, 0), kPenSolid, 16},
  };
  const TStep& s = kSteps[state >= 0 && state <= 8 ? state : kStateUnknown];
  TGraphPoint p;
  // The state rides in the point's spare value, so the changes between the cursors can
  // name it; the drawing never reads it.
  p.Y = state >= 0 && state <= 8 ? state : kStateUnknown;
  p.Color = s.color;
  p.PenStyle = s.pen;
  p.Thickness = s.thickness;
  return p;
}

void EncodeRoutePoint(const TRoutePoint& p, uint8_t* out) {
  std::memset(out, 0, kRoutePointSize);
  PutDoubleLE(out, p.Time);
  for (int i = 0; i < 4; ++i) out[8 + i] = static_cast<uint8_t>(p.Code >> (8 * i));
  out[12] = p.Value;
}

TRoutePoint DecodeRoutePoint(const uint8_t* in) {
  TRoutePoint p;
  p.Time = GetDoubleLE(in);
  p.Code = 0;
  for (int i = 0; i < 4; ++i) p.Code |= uint32_t{in[8 + i]} << (8 * i);
  p.Value = in[12];
  return p;
}

void BuildRoute(const TRouteInput& in, TKivMatrix& route, TGraphModel& graph) {
  if (in.Events == nullptr || in.EventDefs == nullptr || in.Row == 0) return;
  TRouteBuilder(in, route, graph).Run();
}

void ShowLegend(TGraphModel& graph) {
  graph.BeginUpdate();
  graph.Clear();
  for (int v = 0; v <= 8; ++v) {
    const auto row = static_cast<uint16_t>(v + 1);
    TGraphPoint p = StepTemplate(v);
    p.X = 0;
    graph.AddPoint(row, p);
    p.X = 10;
    graph.AddPoint(row, p);
    std::string name = StateName(v);
    if (v <= 2) {
      name = "Switches states:   " + name;
    } else if (v >= 4) {
      name = "Voltages rang:   " + name;
    }
    graph.SetRowName(row, name);
  }
  graph.PrintTitle = "Legend";
  graph.EndUpdate();
}

std::string RouteStateName(const TGraphPoint& p) {
  const double v = p.Y;
  const int state =
      v >= 0 && v <= 8 && v == static_cast<int>(v) ? static_cast<int>(v) : kStateUnknown;
  return StateName(state);
}

std::vector<std::string> GraphSeriesLines(const TGraphModel& graph) {
  std::vector<std::string> lines;
  for (uint16_t r = 1; r <= graph.SeriesCount(); ++r) {
    lines.push_back(graph.GetRowName(r));
    for (uint16_t c = 1; c <= graph.PointCount(r); ++c) {
      const TGraphPoint p = graph.Point(r, c);
      lines.push_back("  " + FixedText(p.X, 6) + "\t" + ColorToHex(p.Color) + "\t" +
                      std::to_string(p.PenStyle) + "\t" + std::to_string(p.Thickness));
    }
  }
  return lines;
}
