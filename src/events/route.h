// The route of a sequence: the course of switch positions, voltage ranges, inputs, relays
// and commands over time, built from the events and drawn by the graph as one series per
// route signal. Also the legend, which shows the step of every state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graphmodel.h"
#include "matrix.h"

// Route signals are numbered 0..171; 0 means that an event moves no signal.
constexpr int kRouteSignalCount = 172;
constexpr int kLastRouteSignal = 171;

// How a signal's points become steps.
enum TRouteSeriesType : uint8_t {
  rstNone = 0,    // nothing feeds the signal
  rstLevels = 1,  // levels of a two-valued signal or of a voltage range
  rstSwitch = 2,  // switch position from its close and open contacts
};

struct TRouteSignal {
  const char* Name;  // "" for an unnamed signal
  // 1: the series is drawn even when the signal never moved after its first snapshot.
  uint8_t Keep;
  TRouteSeriesType Type;
};

// Entry s of the route signal table; the entry of signal 0 outside 0..171.
const TRouteSignal& RouteSignal(int signal);

// How the step of state v (0..8) is drawn, with the state in Y; only X is filled in per
// point. States outside 0..8 are drawn as state 3 ("UNKNOWN STATE").
TGraphPoint StepTemplate(int state);

// One point of the route matrix: 16 bytes, time (double), code (u32), value (u8).
constexpr uint16_t kRoutePointSize = 16;
struct TRoutePoint {
  double Time = 0.0;  // seconds since the sequence start, as the listing counts them
  uint32_t Code = 0;  // the event code that produced the point
  uint8_t Value = 0;  // state number 0..8
};
void EncodeRoutePoint(const TRoutePoint& p, uint8_t* out);
TRoutePoint DecodeRoutePoint(const uint8_t* in);

// What the route needs of the lister's state.
struct TRouteInput {
  const TOgmMatrix* Events = nullptr;  // the events matrix
  uint16_t Row = 0;                    // the selected sequence's row
  // Day count of the sequence start (its earliest event): the route's time 0, the same
  // origin as the listing's, so an event has one time in every view.
  double Start = 0.0;
  const uint8_t* EventDefs = nullptr;  // 256 definition records of the device type
  bool Kivs3 = false;                  // device type KIVS-3 (else KIVS-2 rules)
  bool ImplementsSysLogick = false;    // GLOBAL "ImplementsSysLogick" of the definition file
  bool ShowAllEvents = false;          // read option "Show all events"
};

// Fills the route matrix (one row per signal) from the sequence's events and builds the
// graph series from it, between BeginUpdate and EndUpdate of the graph. The opening
// switchgear state is read first, as the state the sequence starts from (drawn from the
// lead-in on, also over the milliseconds the corrections put before its own time, as the
// listing shows it first and without a time); every other event follows in time order.
void BuildRoute(const TRouteInput& in, TKivMatrix& route, TGraphModel& graph);

// The nine legend series, one per state, and the graph's print title "Legend".
void ShowLegend(TGraphModel& graph);

// The name of the state a route step starts ("OFF", "ON", "V>Vr" ...), carried in the
// step's Y; for the changes between the cursors (StateChanges).
std::string RouteStateName(const TGraphPoint& p);

// The graph's series as text: per series row 1..SeriesCount its GetRowName, then one line
// per point: two blanks, X with six decimals, tab, colour RRGGBB, tab, pen style, tab,
// thickness.
std::vector<std::string> GraphSeriesLines(const TGraphModel& graph);
