// The decoders of the KIVS-3: voltages, blocking of synchronous switching and switchgear
// state of its two sections.
#include <iterator>

#include "decode_common.h"

using namespace kivdecode;

namespace {

// In the order the device's documentation lists them, which is the order of the listing.
// Some texts say the opposite of their bit (byte 13 bit 6, byte 11 bit 0): the device
// documents them so and engineers read them so.
constexpr TStateBitRow kKivs3Switchgear[] = {
    {15, 0, "Missing of auxiliary voltage (A11-A12)", "Auxiliary voltage exists (A11-A12)", false},
    {15, 1, "SA SYS Key open", "SA SYS Key close", true},
    {15, 2, "Key open SA (B1-B2)", "SA Key close (B1-B2)", false},
    {15, 4, "Fading of signal permission on AS CBA>CBR and CBB>CBR(B5)",
     "Signal permission on AS CBA>CBR and CBB>CBR(B5) exists", false},
    {15, 5, "Fading of signal permission on AS  CBA>CBB and CBB>CBA (B6)",
     "Signal permission on AS CBA>CBB i CBB>CBA (B6) exists", false},
    {15, 6, "Fading of signal permission on ARS (B7)", "Signal permission on ARS (B7) exists",
     false},
    {15, 7, "Fading signal transient blocking input section A (B8)",
     "Signal transient blocking input section A (B8) exists", false},
    {14, 0, "Fading signal transient blocking input section B(B9)",
     "Signal transient blocking input section B (B9) exists", false},
    {14, 1, "Fading signal permanent blocking input A (B10)",
     "Signal permanent blocking input section A (B10) exists", false},
    {14, 2, "Fading signal permanent blocking input section B (B11)",
     "Signal permanent blocking input section B (B11) exists", false},
    {14, 3, "Fading signal initiating PSS CBA>CBR or CBR>CBA (B12)",
     "Signal initiating PSS CBA>CBR or CBR>CBA (B12) exists", false},
    {14, 4, "Fading signal initiating PSS CBB>CBR or CBB>CBA (B13)",
     "Signal initiating PSS CBB>CBR or CBB>CBA (B13) exists", false},
    {14, 5, "Fading signal initiating CBA>CBB or CBB>CBA (B14)",
     "Signal initiating PSS CBA>CBB or CBB>CBA (B14)", false},
    {14, 6, "Fading signal transient blocking input section B LOG",
     "signal transient blocking input section B LOG exists", true},
    {13, 0, "Fading signal external initiating AS CBA>CBR or CBA>CBB (B15)",
     "Signal external initiating AS CBA>CBR or CBA>CBB(B15) exists", false},
    {13, 1, "SA LOG Key open", "SA LOG Key close", true},
    {13, kPairBits, "  CBA-", nullptr, false},
    {13, 4, "Fading signal bay switching CBA (C7-C8)", "Signal bay switching CBA (C7-C8) exists",
     false},
    {13, 5, "Fading external signal turn off CBA (D4)", "External signal turn off CBA (D4) exists",
     false},
    {13, 6, "Signal PERMISSION ON AS CBA>CBR and CBB>CBR SYS exists",
     "Fading signal PERMISSION ON AS CBA>CBR and CBB>CBR SYS", true},
    {12, 0, "Fading signal change settings - parset 1 chosen (B4)",
     "Signal change settings exists - parset 2 chosen (B4)", false},
    {12, 1, "Fading signal PERMISSION ON ARS LOG", "Signal PERMISSION ON ARS LOG exists", true},
    {12, kPairBits, "  CBR-", nullptr, false},
    {12, 4, "Fading signal bay switching CBR (C9-C10)", "Signal bay switching CBR (C9-C10) exists",
     false},
    {12, 5, "Fading external signal turn off CBR (D8)", "External signal turn off CBR (D8) exists",
     false},
    {12, 6, "Unactive signal PERMISSION ON ARS SYS", "Active signal PERMISSION ON ARS SYS", true},
    {11, 0, "Signal external initiating AS CBB>CBR or CBB>CBA (B16) exists",
     "Fading signal external initiating AS CBB>CBR or CBB>CBA(B16)", false},
    {11, 1, "Unactive signal change settings LOG (parset 1 chosen)",
     "Active signal change settings LOG (parset 2 chosen)", true},
    {11, kPairBits, "  CBB-", nullptr, false},
    {11, 4, "Fading signal bay switching CBB (C11-C12)",
     "Signal bay switching CBB (C11-C12) exists", false},
    {11, 5, "Fading external signal turn off CBB (D12)",
     "External signal turn off CBB (D12) exists", false},
    {11, 6, "Unactive signal PERMISSION ON AS CBA>CBB and CBB>CBA SYS",
     "Active signal PERMISSION ON AS CBA>CBB and CBB>CBA SYS", true},
    {10, 0, "Open relay V<t section B 2 st. (F9-F10)", "Close relay V<t section B 2 st. (F3-F9)",
     false},
    {10, 1, "Unactive signal TRANSIENT BLOCKING S.B SYS",
     "Active signal TRANSIENT BLOCKING S.B SYS", true},
    {10, 2, "Open relay V<t section B 1 st. (F5-F6)", "Close relay V<t section B 1 st. (F5-F6)",
     false},
    {10, 3, "Unactive signal TRANSIENT BLOCKING S.A SYS",
     "Active signal TRANSIENT BLOCKING S.A SYS", true},
    {10, 4, "Open relay V<t section A 2 st. (F7-F8)", "Close relay V<t section A 2 st. (F7-F8)",
     false},
    {10, 5, "Unactive signal PERMANENT BLOCKING S.B SYS",
     "Active signal PERMANENT BLOCKING S.B SYS", true},
    {10, 6, "Open relay V<t section A 1 st. (F3-F4)", "Close relay V<t section A 1 st. (F3-F4)",
     false},
    {10, 7, "Unactive signal PERMANENT BLOCKING S.A SYS",
     "Active signal PERMANENT BLOCKING S.A SYS", true},
    {9, 0, "Not activated signalling PSS or ARS INITIATED (E8)",
     "Activated signalling PSS or ARS INITIATED (E8)", false},
    {9, 1, "Not activated signalling AS OPERATING (E7)", "Activated signalling AS OPERATING (E7)",
     false},
    {9, 2, "Not activated signalling  OFF-AUTOMATIC (E2)",
     "Activated signalling  OFF-AUTOMATIC (E2)", false},
    {9, 3, "Not activated signalling PERMANENT BLOCKING (E3)",
     "Activated signalling PERMANENT BLOCKING (E3)", false},
    {9, 4, "Not activated signalling TRANSIENT BLOCKING OR NOT READY(E4)",
     "Activated signalling TRANSIENT BLOCKING OR NOT READY(E4)", false},
    {9, 5, "Not activated signalling INCORRECT PSS OR ARS (E6)",
     "Activated signalling INCORRECT PSS OR ARS (E6)", false},
    {9, 6, "Not activated signalling INCORRECT AS (E5)", "Activated signalling INCORRECT AS (E5)",
     false},
    {9, 7, "Unactive signal CHANGE SETTINGS SYS(parset 1 chosen)",
     "Active signal CHANGE SETTINGS SYS(parset 2 chosen)", true},
    {8, 4, "Unactive signal PERMISSION ON AS CBA>CBR and CBB>CBR LOG",
     "Active signal PERMISSION ON AS CBA>CBR and CBB>CBR LOG", true},
    {8, 5, "Unactive signal PERMISSION ON AS CBA>CBB and CBB>CBA LOG",
     "Active signal PERMISSION ON AS CBA>CBB and CBB>CBA LOG", true},
    {7, 4, "Unactive signal PERMANENT BLOCKING S.B LOG", "Active signal PERMANENT BLOCKING S.B LOG",
     true},
};

constexpr TBlockingBitRow kKivs3Blocking[] = {
    {7, 4, "  df_VsB-VA<setting value"},   {7, 5, "  df_VsA-VB<setting value"},
    {8, 4, "  dphi_VsB-VA<setting value"}, {8, 5, "  dphi_VsA-VB<setting value"},
    {9, 4, "  dV_VsB-VA<setting value"},   {9, 5, "  dV_VsA-VB<setting value"},
};

}  // namespace

void DecodeKivs3VoltagesState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink) {
  if (ByteAt(rec, len, 0) == kCodeVoltagesState) sink.Line(ctx.EventLine, true);
  sink.Line("  " + VoltageRangeText(ByteAt(rec, len, 8), ByteAt(rec, len, 8), "VA") + "  " +
                VoltageRangeText(ByteAt(rec, len, 4), ByteAt(rec, len, 6), "VbusA") + "  " +
                VoltageRangeText(ByteAt(rec, len, 7), ByteAt(rec, len, 7), "VB") + "  " +
                VoltageRangeText(ByteAt(rec, len, 3), ByteAt(rec, len, 5), "VbusB"),
            false);
  if (BitAt(rec, len, 6, 6)) sink.Line("  Drop down voltage VbusA more than Vs", false);
  if (BitAt(rec, len, 5, 6)) sink.Line("  Drop down voltage VbusB more than Vs", false);
}

void DecodeKivs3BlockingState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                              ILineSink& sink) {
  EmitBlockingState(kKivs3Blocking, std::size(kKivs3Blocking), rec, len, ctx, sink);
}

void DecodeKivs3SwitchgearState(const uint8_t* rec, int len, const TDecodeContext& ctx,
                                ILineSink& sink) {
  EmitSwitchgearState(kKivs3Switchgear, std::size(kKivs3Switchgear), rec, len, ctx, sink);
}
