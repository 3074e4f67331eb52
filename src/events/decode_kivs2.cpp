// The decoders of the KIVS-2: voltages, blocking of synchronous switching and switchgear
// state.
#include <iterator>

#include "decode_common.h"

using namespace kivdecode;

namespace {

// In the order the device's documentation lists them, which is the order of the listing.
constexpr TStateBitRow kKivs2Switchgear[] = {
    {15, 0, "Missing of auxiliary voltage (A11-A12)", "Auxiliary voltage exists (A9-A10)", false},
    {15, 1, "SA SYS key open", "SA SYS key close", true},
    {15, 2, "SA key open (B1-B2)", "SA key close (B1-B2)", false},
    {15, 4, "Fading of signal permission on AS CBM>CBR(B5)",
     "Signal permission on AS CBM>CBR(B5) exists", false},
    {15, 5, "Fading of signal permission on AS CBR>CBM(B6)",
     "Signal permission on AS CBR>CBM(B6) exists", false},
    {15, 6, "Fading of signal permission on ARS(B7)", "Signal permission on ARS(B7) exists", false},
    {15, 7, "Fading transient blocking input(B8)", "Transient blocking input (B8) exists", false},
    {14, 0, "Fading permanent blocking input (B9)", "Permanent blocking input (B9) exists", false},
    {14, 1, "Fading signal initiating PSS CBM>CBR or CBR>CBM(B10)",
     "Signal initiating PSS CBM>CBR or CBR>CBM(B10) exists", false},
    {14, 2, "Fading signal external initiating AS CBM>CBR(B11)",
     "Signal external initiating AS CBM>CBR(B11) exists", false},
    {14, 3, "Fading signal external initiating AS CBR>CBM(B12)",
     "Signal external initiating AS CBR>CBM(B12) exists", false},
    {13, 1, "SA LOG Key open", "SA LOG Key close", true},
    {13, kPairBits, "  State CBM -", nullptr, false},
    {13, 4, "Fading signal bay switching CM (C5-C6)", "Signal bay switching CM (C5-C6) exists",
     false},
    {13, 5, "Fading signal turn off CM (D4)", "External signal turn off CM (D4) exists", false},
    {13, 6, "Unactive signal PERMISSION ON AS CBM>CBR SYS",
     "Active signal PERMISSION ON AS CBM>CBR SYS", true},
    {12, 1, "Unaktive signal PERMISSION ON ARS LOG", "Aktive signal PERMISSION ON ARS LOG", true},
    {12, 6, "Unaktive signal PERMISSION ON ARS SYS", "Aktive signal PERMISSION ON ARS SYS", true},
    {11, 0, "Fading signal change settings - parset 1 chosen",
     "Signal change settings exists - parset 2 chosen", false},
    {11, 1, "Unactive signal CHANGE SETTINGS LOG(parset 1 chosen)",
     "Aktive signal CHANGE SETTINGS LOG(parset 2 chosen)", true},
    {11, kPairBits, "  State CBR-", nullptr, false},
    {11, 4, "Fading signal bay switching CBR (C7-C8)", "Signal bay switching CBR (C7-C8) exists",
     false},
    {11, 5, "Fading external signal turn off CBR (D8)", "External signal turn off CBR (D8) exists",
     false},
    {11, 6, "Unactive signal PERMISSION ON AS CBR>CBM SYS",
     "Active signal PERMISSION ON AS CBR>CBM SYS", true},
    {10, 0, "Open relay V<t 2 st. (F5-F6)", "Close relay V<t 2 st. (F5-F6)", false},
    {10, 2, "Open  relay V<t 1 st. (F3-F4)", "Close relay V<t 1 st. (F3-F4)", false},
    {10, 3, "Unactive signal TRANSIENT BLOCKING SYS", "Active signal TRANSIENT BLOCKING SYS", true},
    {10, 7, "Unactive signal PERMANENT BLOCKING SYS", "Active signal PERMANENT BLOCKING SYS", true},
    {9, 0, "Not activated signalling PSS or ARS INITIATED",
     "Activated signalling PSS or ARS INITIATED", false},
    {9, 1, "Not activated signalling AS OPERATING", "Activated signalling AS OPERATING", false},
    {9, 2, "Not activated signalling  OFF-AUTOMATIC", "Activated signalling  OFF-AUTOMATIC", false},
    {9, 3, "Not activated signalling PERMANENT BLOCKING", "Activated signalling PERMANENT BLOCKING",
     false},
    {9, 4, "Not activated signalling TRANSIENT BLOCKING OR NOT READY",
     "Activated signalling TRANSIENT BLOCKING OR NOT READY", false},
    {9, 5, "Not activated signalling INCORRECT PSS OR ARS",
     "Activated signalling INCORRECT PSS OR ARS", false},
    {9, 6, "Not activated signalling INCORRECT AS", "Activated signalling INCORRECT AS", false},
    {9, 7, "Unactive signal CHANGE SETTINGS SYS(parset 1 chosen)",
     "Active signal CHANGE SETTINGS SYS(parset 2 chosen)", true},
    {8, 4, "Unactive signal PERMISSION ON AS CBM>CBR LOG",
     "Active signal PERMISSION ON AS CBM>CBR LOG", true},
    {8, 5, "Unactive signal PERMISSION ON AS CBR>CBM LOG",
     "Active signal PERMISSION ON AS CBR>CBM LOG", true},
    {7, 4, "Unactive signal PERMANENT BLOCKING LOG", "Active signal PERMANENT BLOCKING LOG", true},
    {7, 5, "Unactive signal TRANSIENT BLOCKING LOG", "Active signal TRANSIENT BLOCKING LOG", true},
};

constexpr TBlockingBitRow kKivs2Blocking[] = {
    {7, 1, "  df_Vs-VR<set value"},  {7, 2, "  df_Vs-VM<set value"},
    {8, 1, "  dfi_Vs-VR<set value"}, {8, 2, "  dfi_Vs-VM<set value"},
    {9, 1, "  dV_Vs-VR<set value"},  {9, 2, "  dV_Vs-VM<set value"},
};

}  // namespace

void DecodeKivs2VoltagesState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink) {
  if (ByteAt(rec, len, 0) == kCodeVoltagesState) sink.Line(ctx.EventLine, true);
  sink.Line("  " + VoltageRangeText(ByteAt(rec, len, 3), ByteAt(rec, len, 5), "VR") + "  " +
                VoltageRangeText(ByteAt(rec, len, 4), ByteAt(rec, len, 6), "Vbus") + "  " +
                VoltageRangeText(ByteAt(rec, len, 8), ByteAt(rec, len, 8), "VM"),
            false);
  if (BitAt(rec, len, 6, 6)) sink.Line("  Drop down voltage Vbus more than Vs", false);
  if (BitAt(rec, len, 5, 6)) sink.Line("  Drop down voltage VR more than Vs", false);
}

void DecodeKivs2BlockingState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink) {
  EmitBlockingState(kKivs2Blocking, std::size(kKivs2Blocking), rec, len, ctx, sink);
}

void DecodeKivs2SwitchgearState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                                ILineSink& sink) {
  EmitSwitchgearState(kKivs2Switchgear, std::size(kKivs2Switchgear), rec, len, ctx, sink);
}
