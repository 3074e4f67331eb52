// Decoding an events buffer of either device type: the records are walked with the
// device's event definition table and each goes through its decoder with any context
// (options, position, the previous blocking state). No read outside the record, valid
// UTF-8 lines, and every record decoded by its own kind gives its event line first.
#include <vector>

#include "decoders.h"
#include "eventtables.h"
#include "fuzz_common.h"
#include "fuzz_input.h"
#include "textcodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in(data, size);
  const bool kivs3 = in.Bool();
  TDecodeContext ctx;
  ctx.ImplementsSysLogick = in.Bool();
  ctx.ShowAllEvents = in.Bool();
  const bool anyKind = in.Bool();
  const std::vector<uint8_t> buffer = in.Rest();
  const TEventDefTable& table = kivs3 ? Kivs3EventDefs() : Kivs2EventDefs();

  // Record boundaries first, as the lister finds them.
  struct TRec {
    size_t pos;
    int len;
    uint8_t kind;
  };
  std::vector<TRec> records;
  size_t p = 0;
  while (p < buffer.size()) {
    const uint8_t* def = table.data() + buffer[p] * kEventDefSize;
    size_t length = def[kEvDefLength];
    if (length == 0) break;
    if (def[kEvDefKind] == kKindJump) {
      if (p + 1 >= buffer.size()) break;
      length = static_cast<size_t>(buffer[p + 1]) + 2;
    }
    const size_t len = std::min(length, buffer.size() - p);
    // With anyKind the decoder is chosen by the record's second byte instead, so every
    // decoder meets every kind of record.
    const uint8_t kind = anyKind && len > 1 ? buffer[p + 1] : def[kEvDefKind];
    records.push_back({p, static_cast<int>(len), kind});
    p += length;
  }

  const uint8_t* previousBlocking = nullptr;
  int previousBlockingLength = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const TRec& r = records[i];
    // Each record in a copy of exactly its length, so reading past it is caught.
    std::vector<uint8_t> rec(buffer.begin() + static_cast<std::ptrdiff_t>(r.pos),
                             buffer.begin() + static_cast<std::ptrdiff_t>(r.pos) + r.len);
    ctx.EventLine = "0,000 [s] - event";
    ctx.Column = static_cast<int>(i) + 1;
    ctx.ColumnCount = static_cast<int>(records.size());
    ctx.PreviousBlocking = previousBlocking;
    ctx.PreviousBlockingLength = previousBlockingLength;
    TLineCollector sink;
    DecodeEvent(r.kind, rec.data(), r.len, ctx, sink);
    for (const TListedLine& l : sink.lines) FUZZ_CHECK(IsValidUtf8(l.text));
    // A record decoded by its own kind starts with its event line; a decoder given another
    // code's record writes only what it finds.
    if (!anyKind && !sink.lines.empty()) FUZZ_CHECK(sink.lines.front().bold);
    (void)IsRepeatedBlockingState(rec.data(), r.len, ctx);
    if (rec[0] == kCodeBlockingState) {
      previousBlocking = buffer.data() + r.pos;
      previousBlockingLength = r.len;
    }
  }
  return 0;
}
