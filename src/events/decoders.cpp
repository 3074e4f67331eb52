// Decoders shared by both device types, the choice of decoder by kind, and the range and
// state vocabulary the route uses as well.
#include "decoders.h"

#include <algorithm>
#include <cstring>

#include "decode_common.h"
#include "kivdate.h"
#include "numfmt.h"

using namespace kivdecode;

namespace {

constexpr const char* kRestartCauses[53] = {
    "watchdog of normal running",                                         // 0
    "restart by auxiliary voltage return, after long fading",             // 1
    "restart by auxiliary voltage return, after long fading",             // 2
    "restart by state change form off-automatic to standby",              // 3
    "important memory lost after getting down to work watchdog ",         // 4
    "buffer with data from DSP is owerflov",                              // 5
    "buffer with data to DSP is owerflov",                                // 6
    "watchdog is calibrated",                                             // 7
    "watchdog - end of calibration",                                      // 8
    "end of repair parset 1 ",                                            // 9
    "end of repair parset 2",                                             // 10
    "end of repair network address",                                      // 11
    "end of repair date and time",                                        // 12
    "damage working unit find",                                           // 13
    "watchdog repair now: settings, network address or date and time",    // 14
    "after restart event register pointer range over",                    // 15
    "after restart switches history register pointer range over",         // 16
    "after restart AS or ARS counter range over",                         // 17
    "on standard working processor register have incorrect state",        // 18
    "watchdog find hardware damage now",                                  // 19
    "watchdog find DSP damage now",                                       // 20
    "DSP settings missing answer",                                        // 21
    "time between signals active DSP too long (remote control)",          // 22
    "time between data with DSP sill too long ",                          // 23
    "restart after resetting unit",                                       // 24
    "event register pointer owerflov",                                    // 25
    "restart by unit inside error",                                       // 26
    "restart by unit inside error",                                       // 27
    "restart by unit inside error",                                       // 28
    "restart by unit inside error",                                       // 29
    "restart by unit inside error",                                       // 30
    "restart by unit inside error",                                       // 31
    "restart by unit inside error",                                       // 32
    "restart by unit inside error",                                       // 33
    "restart by auxiliary voltage return, after short fading ",           // 34
    "restart by auxiliary voltage return, after short fading ",           // 35
    "restart by auxiliary voltage return, after short fading ",           // 36
    "restart by auxiliary voltage return, after short fading ",           // 37
    "restart by auxiliary voltage return, after short fading ",           // 38
    "restart by auxiliary voltage return, after short fading ",           // 39
    "restart by auxiliary voltage return, after short fading ",           // 40
    "restart by auxiliary voltage return, after short fading ",           // 41
    "restart by auxiliary voltage return, after short fading ",           // 42
    "restart by auxiliary voltage return, after short fading ",           // 43
    "restart by auxiliary voltage return, after short fading ",           // 44
    "restart by auxiliary voltage return, after short fading ",           // 45
    "restart by auxiliary voltage return, after short fading ",           // 46
    "restart by auxiliary voltage return, after short fading ",           // 47
    "restart by auxiliary voltage return, after short fading ",           // 48
    "restart by auxiliary voltage return, after short fading ",           // 49
    "restart after save settings \"AS from external turn off impulse\"",  // 50
    "incorrect settings value \" AS from externalturn off impulse\"",     // 51
    "restart by unit inside error",                                       // 52
};

constexpr const char* kStateNames[9] = {
    "OFF",      "ON",         "AMBIGUOUS STATE", "UNKNOWN STATE", "V<Vlt",
    "Vlt<V<VL", "VL<V<0,9Vr", "0.9Vr<V<Vr",      "V>Vr",
};

// Range codes carry their third and fourth level in swapped bit places.
uint8_t RangeBits(uint8_t code) {
  uint8_t v = code & 0x0F;
  uint8_t b2 = (v >> 2) & 1;
  uint8_t b3 = (v >> 3) & 1;
  return static_cast<uint8_t>((v & 0x03) | (b3 << 2) | (b2 << 3));
}

// Number of consecutive levels reached, counted from bit 0: 0..4.
int RangeLevel(uint8_t x, uint8_t y) {
  uint8_t v = std::max(RangeBits(x), RangeBits(y));
  int n = 0;
  while (n < 4 && ((v >> n) & 1)) ++n;
  return n;
}

// Two-digit years: 99 is the only year of the last century the devices write.
int FullYear(uint8_t year) {
  return year < 99 ? 2000 + year : 1900 + year;
}

const char* SerialCommandText(unsigned number, bool bit6) {
  switch (number) {
    case 0:
      return "permanent blocking section A";
    case 1:
      return "permanent blocking section B";
    case 2:
      return "start PSSA";
    case 3:
      return "start PSSB";
    case 4:
      return "start PSSAB ";
    case 5:
      return bit6 ? "unblock" : "Off-automatic";
    case 29:
      return "SETTINGS - parset 2";
    case 30:
      return "SETTINGS - parset 1";
    case 31:
      return "RTC setting";
    default:
      return nullptr;
  }
}

}  // namespace

namespace kivdecode {

void EmitSwitchgearState(const TStateBitRow* rows, size_t count, const uint8_t* rec, int len,
                         const TDecodeContext& ctx, ILineSink& sink) {
  // A sequence opens and closes with the device's full state; those two are headed as such
  // (a state that is both first and last counts as the opening one).
  if (ctx.Column == 1)
    sink.Line("STATR STATUS SWITCHGEAR", true);
  else if (ctx.Column == ctx.ColumnCount)
    sink.Line("END STATUS SWITCHGEAR", true);
  else
    sink.Line(ctx.EventLine, true);
  for (size_t i = 0; i < count; ++i) {
    const TStateBitRow& row = rows[i];
    if (row.sysLog && !ctx.ImplementsSysLogick) continue;
    uint8_t value = ByteAt(rec, len, row.byte);
    if (row.bit == kPairBits) {
      sink.Line(std::string(row.text0) + StateName(SwitchPairState(value)), false);
    } else {
      sink.Line(std::string("  ") + (((value >> row.bit) & 1) ? row.text1 : row.text0), false);
    }
  }
}

void EmitBlockingState(const TBlockingBitRow* rows, size_t count, const uint8_t* rec, int len,
                       const TDecodeContext& ctx, ILineSink& sink) {
  if (IsRepeatedBlockingState(rec, len, ctx)) return;
  sink.Line(ctx.EventLine, true);
  for (size_t i = 0; i < count; ++i)
    if (BitAt(rec, len, rows[i].byte, rows[i].bit)) sink.Line(rows[i].text, false);
}

}  // namespace kivdecode

std::string VoltageRangeText(uint8_t x, uint8_t y, const std::string& name) {
  switch (RangeLevel(x, y)) {
    case 0:
      return name + "<Vlt";
    case 1:
      return "Vlt<" + name + "<Vl";
    case 2:
      return "Vl<" + name + "<0.9Vr";
    case 3:
      return "0.9Vr<" + name + "<Vr";
    case 4:
      return name + ">Vr";
    default:
      return name + "=?";
  }
}

uint8_t VoltageRangeCode(uint8_t x, uint8_t y) {
  return static_cast<uint8_t>(4 + RangeLevel(x, y));
}

uint8_t SwitchPairState(uint8_t stateByte) {
  bool a = (stateByte >> 2) & 1;
  bool b = (stateByte >> 3) & 1;
  if (a == b) return 2;
  return a ? 1 : 0;
}

const char* StateName(int state) {
  return state >= 0 && state <= 8 ? kStateNames[state] : "";
}

std::string RestartCauseText(unsigned cause) {
  return kRestartCauses[std::min(cause, 52u)];
}

void DecodeRestart(const uint8_t* rec, int len, const TDecodeContext& ctx, ILineSink& sink) {
  sink.Line(ctx.EventLine, true);
  unsigned cause = (ByteAt(rec, len, 3) << 8) | ByteAt(rec, len, 4);
  sink.Line("  [" + IntToHex(cause, 2) + "]h :" + RestartCauseText(cause), false);
}

bool IsRepeatedBlockingState(const uint8_t* rec, int len, const TDecodeContext& ctx) {
  if (ctx.ShowAllEvents || ctx.PreviousBlocking == nullptr || rec == nullptr) return false;
  if (len != ctx.PreviousBlockingLength) return false;
  if (len <= 3) return true;
  return std::memcmp(rec + 3, ctx.PreviousBlocking + 3, static_cast<size_t>(len - 3)) == 0;
}

void DecodeClockTimeChange(const uint8_t* rec, int len, const TDecodeContext& ctx,
                           ILineSink& sink) {
  sink.Line(ctx.EventLine, true);
  switch (ByteAt(rec, len, 3)) {
    case 1:
      sink.Line("  Change of time source: link RS0", false);
      break;
    case 2:
      sink.Line("  Change of time source: link RS1", false);
      break;
    case 3:
      sink.Line("  Change of time source: keyboard", false);
      break;
    default:
      sink.Line("  ?", false);
      break;
  }
  // An invalid field shows as day 0 or midnight for its own part only; the other part is
  // still worth reading.
  double date = 0;
  if (!TryEncodeDate(FullYear(ByteAt(rec, len, 9)), ByteAt(rec, len, 8), ByteAt(rec, len, 7), date))
    date = 0;
  double time = 0;
  if (!TryEncodeTime(ByteAt(rec, len, 6), ByteAt(rec, len, 5), ByteAt(rec, len, 4), 0, time))
    time = 0;
  sink.Line("  New setting: Date: " + DateToStr(date) + "Time: " + TimeToStr(time), false);
}

void DecodeSerialPortCommand(const uint8_t* rec, int len, const TDecodeContext& ctx,
                             ILineSink& sink) {
  sink.Line(ctx.EventLine, true);
  if (!ctx.ShowAllEvents) return;
  uint8_t command = ByteAt(rec, len, 3);
  bool bit6 = (command >> 6) & 1;
  sink.Line(std::string("  Serial port command") + ((command & 0x80) ? "RS1" : "RS0") +
                (bit6 ? "" : "(broadcast)"),
            false);
  sink.Line(std::string("  MSB from data register") + (bit6 ? "<>0" : "=0"), false);
  if (const char* text = SerialCommandText(command & 0x1F, bit6))
    sink.Line(std::string("  Command: \"") + text + "\"", false);
}

void DecodeEvent(uint8_t kind, const uint8_t* rec, int len, const TDecodeContext& ctx,
                 ILineSink& sink) {
  switch (kind) {
    case kKindSysLogA:
    case kKindSysLogB:
      if (ctx.ImplementsSysLogick) sink.Line(ctx.EventLine, true);
      break;
    case kKindRestart2:
    case kKindRestart3:
      DecodeRestart(rec, len, ctx, sink);
      break;
    case kKindKivs2Voltages:
      DecodeKivs2VoltagesState(rec, len, ctx, sink);
      break;
    case kKindKivs2Blocking:
      DecodeKivs2BlockingState(rec, len, ctx, sink);
      break;
    case kKindKivs2Switchgear:
      DecodeKivs2SwitchgearState(rec, len, ctx, sink);
      break;
    case kKindClockChangeA:
    case kKindClockChangeB:
      DecodeClockTimeChange(rec, len, ctx, sink);
      break;
    case kKindKivs3Voltages:
      DecodeKivs3VoltagesState(rec, len, ctx, sink);
      break;
    case kKindKivs3Blocking:
      DecodeKivs3BlockingState(rec, len, ctx, sink);
      break;
    case kKindKivs3Switchgear:
      DecodeKivs3SwitchgearState(rec, len, ctx, sink);
      break;
    case kKindSerialCommand:
      DecodeSerialPortCommand(rec, len, ctx, sink);
      break;
    default:
      sink.Line(ctx.EventLine, true);
      break;
  }
}
