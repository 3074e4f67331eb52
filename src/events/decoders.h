// Text decoders of the event records of both device types. Each decoder gets one event
// record (the code byte first, the definition's length of bytes; the 8 time bytes the
// lister appends are not part of it) and writes its lines into a line sink: the event line
// or its replacement in bold, then the detail lines in regular style.
//
// Bytes a decoder needs beyond `len` read as 0, so a short record never reads outside it.
#pragma once

#include <cstdint>
#include <string>

#include "eventtables.h"
#include "linesink.h"

// What a decoder needs to know besides the record itself.
struct TDecodeContext {
  // The event line made by the lister: relative time + " [s] - " + the event's name.
  std::string EventLine;
  // Position of the event in its sequence, 1-based, and the number of events there.
  int Column = 1;
  int ColumnCount = 1;
  // GLOBAL "ImplementsSysLogick" of the definition file: the SYS/LOG lines are shown.
  bool ImplementsSysLogick = false;
  // The window's "Show all events".
  bool ShowAllEvents = false;
  // The last 0xF7 record met before this event in the same sequence, listed or not
  // (nullptr when there is none); the lister keeps track of it.
  const uint8_t* PreviousBlocking = nullptr;
  int PreviousBlockingLength = 0;
};

// Runs the decoder the kind selects (every kind 0..255 is handled): kinds without their
// own decoder give the event line alone, kinds 2 and 3 give it only with
// ImplementsSysLogick. The raw hexadecimal line of "Show all events" is the lister's.
void DecodeEvent(uint8_t kind, const uint8_t* rec, int len, const TDecodeContext& ctx,
                 ILineSink& sink);

// Kinds 7, 8: the event line, then "  [" + cause in hex + "]h :" + the cause text.
void DecodeRestart(const uint8_t* rec, int len, const TDecodeContext& ctx, ILineSink& sink);
std::string RestartCauseText(unsigned cause);  // the text alone, entry min(cause, 52)

void DecodeKivs2VoltagesState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink);
void DecodeKivs2BlockingState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink);
void DecodeKivs2SwitchgearState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                                ILineSink& sink);
void DecodeKivs3VoltagesState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink);
void DecodeKivs3BlockingState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink);
void DecodeKivs3SwitchgearState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                                ILineSink& sink);
void DecodeClockTimeChange(const uint8_t* rec, int len, const TDecodeContext& ctx, ILineSink& sink);
void DecodeSerialPortCommand(const uint8_t* rec, int len, const TDecodeContext& ctx,
                             ILineSink& sink);

// True when a blocking state repeats the previous one of its sequence (bytes 3 to the end
// equal) while "Show all events" is off: such an event is not listed at all.
bool IsRepeatedBlockingState(const uint8_t* rec, int len, const TDecodeContext& ctx);

// Voltage range of two range codes: name + "<Vlt", "Vlt<" + name + "<Vl", ...
std::string VoltageRangeText(uint8_t x, uint8_t y, const std::string& name);
// The same range as a state number 4..8 of the route.
uint8_t VoltageRangeCode(uint8_t x, uint8_t y);

// Switch state of bits 2 and 3 of a state byte: 0 OFF, 1 ON, 2 AMBIGUOUS STATE.
uint8_t SwitchPairState(uint8_t stateByte);
// State names 0..8: "OFF", "ON", "AMBIGUOUS STATE", "UNKNOWN STATE", "V<Vlt", ...
// ("" outside 0..8).
const char* StateName(int state);
