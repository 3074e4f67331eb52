#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "eventtables.h"
#include "kivdate.h"

namespace {

using TRecord = std::vector<uint8_t>;
using TSequence = std::vector<TRecord>;  // chronological

constexpr double kMsPerDay = 86400000.0;
constexpr double kMsPerTick = 2.5;
constexpr size_t kBlockBytes = 250;  // one reading request: 125 registers

// Event codes of one circuit breaker: its two position contacts and its command impulses.
// The breakless closing impulse has its codes two below those of the one with a break.
struct TBreaker {
  uint8_t closedUp, closedFade, openedUp, openedFade, onBegin, onEnd, offBegin, offEnd;
};

// Codes of the inputs and outputs a scenario uses, per device type.
struct TDeviceCodes {
  TBreaker main;                                     // CBM / CBA
  TBreaker reserve;                                  // CBR
  TBreaker second;                                   // CBB (KIVS-3 only)
  uint8_t relay1On, relay1Off, relay2On, relay2Off;  // V<t stages (section A on the KIVS-3)
  uint8_t relayB1On, relayB1Off;                     // V<t section B (KIVS-3)
  uint8_t unitWorkOn, auxBack, auxDrop, keyOn, keyOff, settingsUp, settingsFade;
  uint8_t blockingUp, blockingFade;
  uint8_t blockingBits;  // bits of the blocking state bytes this type uses
};

constexpr TDeviceCodes kKivs2Codes = {
    {0x24, 0x25, 0x26, 0x27, 0xA2, 0xA3, 0xA4, 0xA5},
    {0x44, 0x45, 0x46, 0x47, 0xC2, 0xC3, 0xC4, 0xC5},
    {},
    0x84,
    0x85,
    0x80,
    0x81,
    0,
    0,
    0x88,
    0x00,
    0x01,
    0x04,
    0x05,
    0x40,
    0x41,
    0x0E,
    0x0F,
    0x06,
};

constexpr TDeviceCodes kKivs3Codes = {
    {0x24, 0x25, 0x26, 0x27, 0xA2, 0xA3, 0xA4, 0xA5},
    {0x34, 0x35, 0x36, 0x37, 0xB2, 0xB3, 0xB4, 0xB5},
    {0x44, 0x45, 0x46, 0x47, 0xC2, 0xC3, 0xC4, 0xC5},
    0x8C,
    0x8D,
    0x88,
    0x89,
    0x84,
    0x85,
    0xB6,
    0x00,
    0x01,
    0x04,
    0x05,
    0x30,
    0x31,
    0x0E,
    0x0F,
    0x30,
};

// Range code of a voltage level 0..4 as the device writes it (levels 3 and 4 of the code
// sit in swapped bit places).
constexpr uint8_t kRangeCodes[5] = {0x0, 0x1, 0x3, 0xB, 0xF};

class TGenerator {
 public:
  TGenerator(TKivType type, uint32_t seed)
      : kivs3_(type == kivtKivs3), codes_(kivs3_ ? kKivs3Codes : kKivs2Codes), rng_(seed) {}

  // Uniform integer in lo..hi; built on the engine's raw output so that every standard
  // library gives the same scenario for a seed.
  int Uniform(int lo, int hi) {
    return lo + static_cast<int>(rng_() % static_cast<uint32_t>(hi - lo + 1));
  }

  double ChooseFirstStart() {
    double day = 0;
    TryEncodeDate(2023, Uniform(1, 12), Uniform(1, 28), day);
    return day + (Uniform(0, 23) * 60 + Uniform(0, 59)) / 1440.0;
  }

  // The next sequence, starting at a whole minute after `after`.
  TSequence NextSequence(double after) {
    double start = std::floor((after + Uniform(60, 20000) / 1440.0) * 1440.0) / 1440.0;
    seq_.clear();
    now_ = start;
    AddClock(start);
    int kind = Uniform(0, 9);
    if (kind == 0 || !started_) {
      Restart();
    } else if (kind <= 4) {
      Transfer();
    } else if (kind <= 7) {
      OperatorActions();
    } else {
      Blocking();
    }
    started_ = true;
    return seq_;
  }

  // Events of a sequence whose start the ring memory no longer holds.
  TSequence OrphanTail(double start) {
    seq_.clear();
    now_ = start;
    Event(codes_.keyOff, Uniform(100, 4000));
    Event(codes_.keyOn, Uniform(1000, 9000));
    Event(codes_.settingsFade, Uniform(100, 2000));
    return seq_;
  }

  double Now() const { return now_; }

 private:
  void AddClock(double start) {
    TDateParts d;
    TTimeParts t;
    DecodeDateTime(start, d, t);
    seq_.push_back({kCodeClockTime, static_cast<uint8_t>(t.minute), static_cast<uint8_t>(t.hour),
                    static_cast<uint8_t>(d.day), static_cast<uint8_t>(d.month),
                    static_cast<uint8_t>(d.year % 100)});
  }

  // One record after `ms` milliseconds; data follows the delay bytes.
  void Event(uint8_t code, double ms, std::initializer_list<uint8_t> data = {}) {
    long ticks = std::lround(ms / kMsPerTick);
    ticks = std::clamp(ticks, 0L, 65535L);
    now_ += ticks * kMsPerTick / kMsPerDay;
    TRecord r = {code, static_cast<uint8_t>(ticks >> 8), static_cast<uint8_t>(ticks & 0xFF)};
    r.insert(r.end(), data.begin(), data.end());
    seq_.push_back(std::move(r));
  }

  static uint8_t Pair(bool closed) { return closed ? 0x04 : 0x08; }

  void Switchgear(double ms) {
    uint8_t b[13] = {};  // bytes 3..15
    auto at = [&b](int index) -> uint8_t& { return b[index - 3]; };
    at(15) = static_cast<uint8_t>((auxOk_ ? 0x01 : 0) | (keyOn_ ? 0x04 : 0) | 0x70);
    if (kivs3_) {
      at(13) = Pair(mainClosed_);
      at(12) = static_cast<uint8_t>(Pair(reserveClosed_) | (settings2_ ? 0x01 : 0));
      at(11) = static_cast<uint8_t>(Pair(secondClosed_) | 0x01);
      at(9) = reserveClosed_ ? 0x02 : 0;  // "AS OPERATING" while the coupler carries a section
    } else {
      at(13) = Pair(mainClosed_);
      at(11) = static_cast<uint8_t>(Pair(reserveClosed_) | (settings2_ ? 0x01 : 0));
      at(9) = reserveClosed_ ? 0x02 : 0;
    }
    Event(kCodeSwitchgearState, ms,
          {b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12]});
  }

  // Levels 0..4 of the supplies and buses; drop flags mark a bus that fell below Vs.
  void Voltages(double ms, bool dropA = false, bool dropB = false) {
    uint8_t b3, b4, b5, b6, b7 = 0, b8;
    if (kivs3_) {
      b8 = kRangeCodes[levelMain_];
      b7 = kRangeCodes[levelSecond_];
      b4 = b6 = kRangeCodes[levelBusA_];
      b3 = b5 = kRangeCodes[levelBusB_];
    } else {
      b8 = kRangeCodes[levelMain_];
      b3 = b5 = kRangeCodes[levelReserve_];
      b4 = b6 = kRangeCodes[levelBusA_];
    }
    if (dropA) b6 |= 0x40;
    if (dropB) b5 |= 0x40;
    Event(kCodeVoltagesState, ms, {b3, b4, b5, b6, b7, b8});
  }

  void OpenBreaker(const TBreaker& cb, double ms) {
    Event(cb.offBegin, ms);
    Event(cb.closedFade, Uniform(35, 70));
    Event(cb.openedUp, Uniform(2, 12));
    Event(cb.offEnd, Uniform(120, 200));
  }

  void CloseBreaker(const TBreaker& cb, double ms, bool breakless) {
    Event(breakless ? static_cast<uint8_t>(cb.onBegin - 2) : cb.onBegin, ms);
    Event(cb.openedFade, Uniform(45, 90));
    Event(cb.closedUp, Uniform(2, 12));
    Event(breakless ? static_cast<uint8_t>(cb.onEnd - 2) : cb.onEnd, Uniform(100, 180));
  }

  void Opening() {
    Switchgear(Uniform(0, 2) * kMsPerTick);
    Voltages(Uniform(0, 4) * kMsPerTick);
  }

  void Closing() { Switchgear(Uniform(200, 1500)); }

  // Automatic switching to the reserve when a supply fails, or back when it returns.
  void Transfer() {
    Opening();
    bool sideB = kivs3_ && Uniform(0, 1) == 1;
    bool& failedClosed = sideB ? secondClosed_ : mainClosed_;
    const TBreaker& failed = sideB ? codes_.second : codes_.main;
    if (!reserveClosed_ && failedClosed) {
      int& supply = sideB ? levelSecond_ : levelMain_;
      int& bus = sideB ? levelBusB_ : levelBusA_;
      supply = Uniform(0, 1);
      bus = supply;
      Voltages(Uniform(500, 30000), !sideB || !kivs3_, sideB);
      uint8_t stage1 = sideB ? codes_.relayB1On : codes_.relay1On;
      Event(stage1, Uniform(300, 900));
      if (!sideB) Event(codes_.relay2On, Uniform(200, 600));
      OpenBreaker(failed, Uniform(5, 40));
      failedClosed = false;
      CloseBreaker(codes_.reserve, Uniform(80, 400), Uniform(0, 3) == 0);
      reserveClosed_ = true;
      bus = 4;
      Voltages(Uniform(20, 80));
      if (!sideB) Event(codes_.relay2Off, Uniform(10, 60));
      Event(sideB ? codes_.relayB1Off : codes_.relay1Off, Uniform(10, 60));
    } else {
      // The supply that failed earlier is back: after the return delay, back to normal.
      levelMain_ = levelSecond_ = 4;
      Voltages(Uniform(1000, 20000));
      const TBreaker& back = kivs3_ && !secondClosed_ ? codes_.second : codes_.main;
      bool& backClosed = kivs3_ && !secondClosed_ ? secondClosed_ : mainClosed_;
      OpenBreaker(codes_.reserve, Uniform(5000, 60000));
      reserveClosed_ = false;
      CloseBreaker(back, Uniform(80, 300), true);
      backClosed = true;
      if (kivs3_ && (!mainClosed_ || !secondClosed_)) {
        CloseBreaker(codes_.main, Uniform(300, 900), true);
        mainClosed_ = secondClosed_ = true;
      }
      Voltages(Uniform(20, 80));
    }
    Closing();
  }

  void OperatorActions() {
    Opening();
    if (Uniform(0, 1) == 0) {
      Event(codes_.keyOff, Uniform(2000, 60000));
      keyOn_ = false;
      Event(codes_.keyOn, Uniform(5000, 120000));
      keyOn_ = true;
    }
    settings2_ = !settings2_;
    Event(settings2_ ? codes_.settingsUp : codes_.settingsFade, Uniform(500, 20000));
    if (kivs3_ && Uniform(0, 1) == 0) {
      // The clock set over the serial link or from the keyboard.
      TDateParts d;
      TTimeParts t;
      DecodeDateTime(now_ + Uniform(-600, 600) / 86400.0, d, t);
      Event(kCodeClockTimeChange, Uniform(100, 3000),
            {static_cast<uint8_t>(Uniform(1, 3)), static_cast<uint8_t>(t.second),
             static_cast<uint8_t>(t.minute), static_cast<uint8_t>(t.hour),
             static_cast<uint8_t>(d.day), static_cast<uint8_t>(d.month),
             static_cast<uint8_t>(d.year % 100)});
    }
    Closing();
  }

  void Blocking() {
    Opening();
    Event(codes_.blockingUp, Uniform(500, 30000));
    uint8_t bits = static_cast<uint8_t>(codes_.blockingBits & (Uniform(1, 255)));
    if (bits == 0) bits = codes_.blockingBits;
    Event(kCodeBlockingState, Uniform(5, 40),
          {0, 0, 0, 0, bits, static_cast<uint8_t>(bits & 0x22), 0});
    Event(kCodeBlockingState, Uniform(500, 4000), {0, 0, 0, 0, 0, 0, 0});
    Event(codes_.blockingFade, Uniform(1000, 40000));
    Closing();
  }

  void Restart() {
    static constexpr uint16_t kCauses[] = {0x01, 0x22, 0x18, 0x00, 0x2A};
    uint16_t cause = kCauses[Uniform(0, 4)];
    Event(kCodeRestart, 0, {static_cast<uint8_t>(cause >> 8), static_cast<uint8_t>(cause)});
    auxOk_ = true;
    Switchgear(Uniform(0, 4) * kMsPerTick);
    Voltages(Uniform(0, 4) * kMsPerTick);
    Event(codes_.auxBack, Uniform(5, 30));
    Event(codes_.unitWorkOn, Uniform(200, 900));
    Closing();
  }

  bool kivs3_;
  const TDeviceCodes& codes_;
  std::mt19937 rng_;
  TSequence seq_;
  double now_ = 0;
  bool started_ = false;
  // The switchgear as the last sequence left it: normal operation on the main supplies.
  bool mainClosed_ = true, reserveClosed_ = false, secondClosed_ = true;
  bool auxOk_ = true, keyOn_ = true, settings2_ = false;
  int levelMain_ = 4, levelReserve_ = 4, levelSecond_ = 4, levelBusA_ = 4, levelBusB_ = 4;
};

size_t Bytes(const TSequence& s) {
  size_t n = 0;
  for (const TRecord& r : s) n += r.size();
  return n;
}

void FillParsets(TKiv& kiv, std::mt19937& rng) {
  int registers = kiv.Defs.ZnsSize > 0 ? kiv.Defs.ZnsSize : 112;
  registers = std::min(registers, static_cast<int>(kivimg::kZestawCapacity / 2));
  std::vector<uint16_t> values(registers, 0);
  bool described = false;
  for (int s = 1; s <= kiv.Defs.SectionCount(); ++s) {
    const TSets* sets = kiv.Defs.SectionSets(s);
    if (!sets) continue;
    for (int m = 1; m <= sets->Count(); ++m) {
      TSetDesc d = sets->GetSetting(m);
      if (!d.OffsetValid || d.Offset >= registers) continue;
      described = true;
      uint16_t v;
      switch (d.Kind) {
        case skYesNo:
          v = rng() % 2;
          break;
        case skVoltage:
          v = static_cast<uint16_t>(100 + rng() % 20);
          break;
        case skHex:
          v = static_cast<uint16_t>(rng() & 0x00FF);
          break;
        case skReal:
          v = static_cast<uint16_t>(5 + rng() % 995);
          break;
        default:
          v = static_cast<uint16_t>(1 + rng() % 120);
          break;
      }
      values[d.Offset] = v;
    }
  }
  if (!described)
    for (uint16_t& v : values) v = static_cast<uint16_t>(rng() % 1000);
  for (int n = 1; n <= 2; ++n) {
    uint8_t* p = kiv.Zestaw(n);
    std::fill(p, p + kivimg::kZestawCapacity, 0);
    for (int i = 0; i < registers; ++i) {
      // Parset 2 differs in a few settings, as a second operating mode would.
      uint16_t v = values[i];
      if (n == 2 && v != 0 && rng() % 6 == 0) v = static_cast<uint16_t>(v + 1 + rng() % 50);
      p[2 * i] = static_cast<uint8_t>(v >> 8);
      p[2 * i + 1] = static_cast<uint8_t>(v & 0xFF);
    }
    kiv.SetZestawLength(n, static_cast<uint16_t>(2 * registers));
  }
}

}  // namespace

TScenarioResult GenerateScenario(TKiv& kiv, TKivType type, uint32_t seed, int sequences,
                                 const TScenarioOptions& options) {
  TScenarioResult result;
  if (type != kivtKivs2 && type != kivtKivs3) return result;

  kiv.SetIdentification(type == kivtKivs2 ? "K2SV0104" : "K3SV0207");
  kiv.SetKivType(kiv.GetKivType());

  // Whole registers only, as the device serves them.
  const uint32_t capacity = std::min(options.MaxBytes, kivimg::kEventBufferCapacity) & ~1u;
  // The marker and at least one register of erased memory behind it: the reading's test
  // for the marker wants to see bytes beyond it.
  constexpr uint32_t kEndMarkerBytes = 4;
  TGenerator gen(type, seed);
  std::mt19937 extra(seed ^ 0x5EED1234u);
  double start = options.FirstStart > 0 ? options.FirstStart : gen.ChooseFirstStart();

  TSequence orphans;
  if (options.OrphanTail) orphans = gen.OrphanTail(start - 3.0 / 1440);
  uint32_t jumpCount = options.JumpRecord ? 3 + extra() % 18 : 0;
  uint32_t fixedBytes = kEndMarkerBytes + static_cast<uint32_t>(Bytes(orphans)) +
                        (options.JumpRecord ? jumpCount + 2 : 0);
  if (fixedBytes > capacity) {
    orphans.clear();
    jumpCount = 0;
    fixedBytes = kEndMarkerBytes;
  }
  bool withJump = options.JumpRecord && jumpCount > 0;

  // Chronological sequences; when more are asked than fit, the oldest give way, as in
  // the device's ring memory.
  std::vector<TSequence> seqs;
  size_t seqBytes = 0;
  double after = start - 1.0 / 1440;
  while (sequences <= 0 ? true : static_cast<int>(seqs.size()) < sequences) {
    TSequence s = gen.NextSequence(after);
    after = gen.Now();
    seqBytes += Bytes(s);
    seqs.push_back(std::move(s));
    if (sequences <= 0 && seqBytes + fixedBytes > capacity) break;
  }
  size_t first = 0;
  while (first < seqs.size() && seqBytes + fixedBytes > capacity) seqBytes -= Bytes(seqs[first++]);
  if (first > 0) orphans.clear();  // a dropped sequence's remains are not kept either

  std::vector<const TRecord*> chrono;
  for (const TRecord& r : orphans) chrono.push_back(&r);
  for (size_t i = first; i < seqs.size(); ++i)
    for (const TRecord& r : seqs[i]) chrono.push_back(&r);

  std::vector<uint8_t> buf;
  size_t jumpAt = withJump && chrono.size() > 1 ? 1 + extra() % (chrono.size() - 1) : 0;
  size_t written = 0;
  for (auto it = chrono.rbegin(); it != chrono.rend(); ++it) {
    if (withJump && written == jumpAt) {
      buf.push_back(kCodeJump);
      buf.push_back(static_cast<uint8_t>(jumpCount));
      buf.insert(buf.end(), jumpCount, 0xFF);
    }
    buf.insert(buf.end(), (*it)->begin(), (*it)->end());
    ++written;
  }
  buf.push_back(kCodeJump);
  buf.push_back(kEndMarkerCount);
  // Erased memory up to the end of the block the marker lies in.
  size_t blockEnd = (buf.size() + 2 + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
  buf.resize(std::max(buf.size() + 2, std::min<size_t>(blockEnd, capacity)), 0xFF);

  std::copy(buf.begin(), buf.end(), kiv.EventBuffer());
  std::fill(kiv.EventBuffer() + buf.size(), kiv.EventBuffer() + kivimg::kEventBufferCapacity, 0);
  kiv.SetEventBufferLength(static_cast<uint16_t>(buf.size()));

  double readDate = (seqs.empty() ? start : gen.Now()) + (5 + extra() % 600) / 1440.0;
  kiv.SetEventsReadDate(readDate);
  if (options.FillParsets) {
    FillParsets(kiv, extra);
    kiv.SetZestaw1ReadDate(readDate);
    kiv.SetZestaw2ReadDate(readDate);
  }

  result.Sequences = static_cast<int>(seqs.size() - first);
  result.Events = static_cast<int>(chrono.size());
  result.Bytes = static_cast<uint32_t>(buf.size());
  return result;
}
