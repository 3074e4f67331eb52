// kivfuzz_seeds: writes the seed corpus of every fuzz target from registrations that
// `kivtool generate` made, so the seeds are what our own tools produce: the registration
// itself and its older-format form, its events buffer, its note area, settings of its
// definition file with the values of its parsets, and start-up parameter texts naming raw
// files. Run by fuzz/make_corpus.sh.
//
//   kivfuzz_seeds OUTDIR DEFSDIR FILE.kiv...
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "kivbase.h"
#include "kivfiles.h"
#include "messages.h"
#include "modbusframe.h"
#include "settings.h"

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

// The input of a target that reads it with TFuzzInput (fuzz_input.h): strings and byte runs
// from the front, integers from the back (the first integer read is the last bytes, its
// most significant byte last in the file).
class TProviderInput {
 public:
  void Front(const Bytes& b) { front_.insert(front_.end(), b.begin(), b.end()); }
  // A string as TFuzzInput::String reads it: backslashes doubled, ended by "\ ".
  void String(const std::string& s, bool last = false) {
    for (char c : s) {
      front_.push_back(static_cast<uint8_t>(c));
      if (c == '\\') front_.push_back('\\');
    }
    if (!last) {
      front_.push_back('\\');
      front_.push_back(' ');
    }
  }
  // An integer taking `bytes` bytes (what its range needs).
  void Integer(uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) back_.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
  Bytes Get() const {
    Bytes out = front_;
    out.insert(out.end(), back_.rbegin(), back_.rend());
    return out;
  }

 private:
  Bytes front_, back_;
};

void Write(const fs::path& file, const Bytes& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

void Write(const fs::path& file, const std::string& text) {
  Write(file, Bytes(text.begin(), text.end()));
}

void PutLe16(Bytes& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x & 0xFF));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

void PutDouble(Bytes& v, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  for (int i = 0; i < 8; ++i) v.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

// The registration in the older variable-length format.
Bytes OlderFormat(const TKiv& kiv, uint8_t major) {
  std::vector<std::string> lines;
  NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, lines);
  Bytes v(260, 0);
  std::memcpy(&v[1], "KIVS", 4);
  v[5] = kiv.GetKivType();
  v[6] = major;
  v[7] = static_cast<uint8_t>(lines.size());
  Bytes created;
  PutDouble(created, kiv.CreateDate());
  std::copy(created.begin(), created.end(), v.begin() + 8);
  for (size_t i = 0; i < lines.size() && i < 244; ++i)
    v[16 + i] = static_cast<uint8_t>(lines[i].size());
  for (const std::string& line : lines) {
    v.push_back(static_cast<uint8_t>(line.size()));
    v.insert(v.end(), line.begin(), line.end());
  }
  PutDouble(v, kiv.EventsReadDate());
  PutDouble(v, kiv.Zestaw1ReadDate());
  PutDouble(v, kiv.Zestaw2ReadDate());
  const uint8_t* o = kiv.Image() + kivimg::kReadOptions;
  v.insert(v.end(), o, o + 6);
  auto area = [&](const uint8_t* p, uint16_t len) {
    PutLe16(v, len);
    v.insert(v.end(), p, p + len);
  };
  area(kiv.EventBuffer(), kiv.EventBufferLength());
  area(kiv.Zestaw1(), kiv.Zestaw1Length());
  area(kiv.Zestaw2(), kiv.Zestaw2Length());
  if (major > 2) {
    std::string ident = kiv.Identification();
    v.insert(v.end(), ident.begin(), ident.end());
    v.push_back(0);
  }
  return v;
}

Bytes EventBuffer(const TKiv& kiv) {
  return Bytes(kiv.EventBuffer(), kiv.EventBuffer() + kiv.EventBufferLength());
}

void RegfileSeeds(const fs::path& out, const std::string& name, TKiv& kiv) {
  if (!kiv.SaveToFile((out / "regfile" / (name + ".kiv")).string()))
    throw std::runtime_error("cannot save " + name);
  Write(out / "regfile" / (name + "-older3.kiv"), OlderFormat(kiv, 3));
  Write(out / "regfile" / (name + "-older2.kiv"), OlderFormat(kiv, 2));
}

void EventSeeds(const fs::path& out, const std::string& name, const TKiv& kiv) {
  // fuzz_events reads: device type, ImplementsSysLogick, ShowAllEvents, any-kind.
  for (int showAll = 0; showAll <= 1; ++showAll) {
    TProviderInput in;
    in.Front(EventBuffer(kiv));
    in.Integer(kiv.GetKivType() == kivtKivs3, 1);
    in.Integer(kiv.Defs.ImplementsSysLogick, 1);
    in.Integer(static_cast<uint64_t>(showAll), 1);
    in.Integer(0, 1);
    Write(out / "events" / (name + (showAll ? "-all" : "")), in.Get());
  }
}

void ListerSeeds(const fs::path& out, const std::string& name, const TKiv& kiv) {
  // fuzz_lister reads: type, CorrectIOTimes, ShowAllEvents, ImplementsSysLogick, the DI, DO
  // and AI corrections, a sequence to pick; then the buffer.
  for (int variant = 0; variant < 2; ++variant) {
    TProviderInput in;
    in.Front(EventBuffer(kiv));
    in.Integer(kiv.GetKivType(), 1);
    in.Integer(static_cast<uint64_t>(1 - variant), 1);
    in.Integer(static_cast<uint64_t>(variant), 1);
    in.Integer(static_cast<uint64_t>(variant), 1);
    in.Integer(static_cast<uint8_t>(kiv.Defs.DiCorrection), 1);
    in.Integer(static_cast<uint8_t>(kiv.Defs.DoCorrection), 1);
    in.Integer(static_cast<uint8_t>(kiv.Defs.AiCorrection), 1);
    in.Integer(static_cast<uint64_t>(variant * 3 + 1), 2);
    Write(out / "lister" / (name + (variant ? "-all" : "")), in.Get());
  }
}

// fuzz_transact's input: the link and options first, then one reply per request in the
// order the dialogue sends them.
class TTransactInput {
 public:
  TTransactInput(bool tcp, uint8_t slave, int mode) : tcp_(tcp) {
    in_.Integer(tcp, 1);
    in_.Integer(slave, 1);
    in_.Integer(static_cast<uint64_t>(mode), 1);
    in_.Integer(1, 1);                              // TraceMessages
    for (int i = 0; i < 4; ++i) in_.Integer(1, 1);  // parsets, events, show all events
    in_.Integer(500, 2);                            // Time_Out
    in_.Integer(300, 2);                            // TimeSilence
  }
  TProviderInput& In() { return in_; }
  // A reply PDU (function code onward) as the link delivers it: on the serial path as a
  // whole frame with address and CRC, arriving in one chunk before the silence ends, or
  // in two when split is given (the second after the silence).
  void Reply(uint8_t slave, const Bytes& pdu, size_t split = 0) {
    if (tcp_) {
      in_.Integer(1, 1);
      in_.Integer(pdu.size(), 1);
      in_.Front(pdu);
      return;
    }
    Bytes frame{slave};
    frame.insert(frame.end(), pdu.begin(), pdu.end());
    frame.resize(frame.size() + 2);
    modbus::AppendCrc(frame.data(), frame.size() - 2);
    in_.Integer(0, 1);  // the frame is taken as it is
    const bool two = split > 0 && split < frame.size();
    in_.Integer(two ? 2 : 1, 1);
    in_.Integer(two ? 0 : 10, 2);
    in_.Integer(two ? split : frame.size(), 2);
    in_.Front(Bytes(frame.begin(), frame.begin() + static_cast<long>(two ? split : frame.size())));
    if (two) {
      in_.Integer(350, 2);
      in_.Integer(frame.size() - split, 2);
      in_.Front(Bytes(frame.begin() + static_cast<long>(split), frame.end()));
    }
  }
  void Registers(uint8_t slave, const uint8_t* data, size_t bytes, size_t split = 0) {
    Bytes pdu{modbus::kReadHoldingRegisters, static_cast<uint8_t>(bytes)};
    pdu.insert(pdu.end(), data, data + bytes);
    Reply(slave, pdu, split);
  }
  void Exception(uint8_t slave, uint8_t function) {
    Reply(slave,
          {static_cast<uint8_t>(function | modbus::kExceptionBit), modbus::kIllegalDataAddress});
  }

 private:
  bool tcp_;
  TProviderInput in_;
};

void TransactSeeds(const fs::path& out, const std::string& name, const TKiv& kiv) {
  const uint8_t slave = kiv.GetReadOptions().SlaveNo;
  const int parsetBytes = 2 * kiv.Defs.ZnsSize;
  for (int tcp = 0; tcp <= 1; ++tcp) {
    // The whole reading: identification, both parsets, the events buffer in blocks of
    // 125 registers and the exception reply past its end.
    TTransactInput all(tcp, slave, 1);
    std::string ident = kiv.Identification();
    ident.resize(16, '\0');
    all.Registers(slave, reinterpret_cast<const uint8_t*>(ident.data()), ident.size());
    for (int n = 1; n <= 2; ++n) {
      for (int done = 0; done < parsetBytes; done += 250) {
        const int k = std::min(250, parsetBytes - done);
        all.Registers(slave, kiv.Zestaw(n) + done, static_cast<size_t>(k), tcp ? 0 : 40);
      }
    }
    for (int done = 0; done < kiv.EventBufferLength(); done += 250)
      all.Registers(slave, kiv.EventBuffer() + done, 250);
    all.Exception(slave, modbus::kReadHoldingRegisters);
    Write(out / "transact" / (name + (tcp ? "-tcp-readall" : "-rtu-readall")), all.In().Get());

    // Writing parset 1 into parset 2: the device echoes each request's address and count.
    TTransactInput write(tcp, slave, 4);
    TProviderInput& in = write.In();
    in.Integer(kiv.GetKivType() - 1u, 1);
    in.Integer(static_cast<uint64_t>(kiv.Defs.ZnsSize + 2), 2);
    in.Integer(static_cast<uint64_t>(kiv.Defs.ZnsSendStep + 2), 2);
    in.Integer(kiv.Defs.Zns1Adres, 2);
    in.Integer(kiv.Defs.Zns2Adres, 2);
    in.Integer(kiv.Defs.EvBufFirstReg, 2);
    in.Integer(static_cast<uint64_t>(kiv.Defs.EvBufLastReg - kiv.Defs.EvBufFirstReg + 1), 1);
    in.Integer(0, 1);  // parset 1
    in.Integer(kiv.Zestaw1Length(), 2);
    in.Front(Bytes(kiv.Zestaw1(), kiv.Zestaw1() + kivimg::kZestawCapacity));
    in.Integer(1, 1);  // into parset 2
    const int step = kiv.Defs.ZnsSendStep > 0 ? std::min(kiv.Defs.ZnsSendStep, 125) : 125;
    for (int reg = 0; reg < kiv.Zestaw1Length() / 2; reg += step) {
      const int first = kiv.Defs.Zns2Adres - 1 + reg;
      const int k = std::min(step, kiv.Zestaw1Length() / 2 - reg);
      write.Reply(slave, {modbus::kWriteMultipleRegisters, static_cast<uint8_t>(first >> 8),
                          static_cast<uint8_t>(first), 0, static_cast<uint8_t>(k)});
    }
    Write(out / "transact" / (name + (tcp ? "-tcp-write" : "-rtu-write")), write.In().Get());
  }
}

void NoteSeeds(const fs::path& out, const std::string& name, TKiv& kiv) {
  LinesToNote({kiv.StationInfo(), "", "Ostatni przegląd: " + kiv.Identification(), "żółw"},
              kiv.NoteArea(), kivimg::kNoteAreaSize);
  size_t used = 0;
  while (used + 1 < kivimg::kNoteAreaSize &&
         !(kiv.NoteArea()[used] == 0 && kiv.NoteArea()[used + 1] == 0))
    ++used;
  // fuzz_note reads: area size (2 bytes), typed lines or an area.
  TProviderInput area;
  area.Front(Bytes(kiv.NoteArea(), kiv.NoteArea() + used + 2));
  area.Integer(used + 2, 2);
  area.Integer(0, 1);
  Write(out / "note" / (name + "-area"), area.Get());
  TProviderInput typed;
  typed.String(kiv.StationInfo());
  typed.String("");
  typed.String("druga linia", true);
  typed.Integer(40, 2);
  typed.Integer(1, 1);
  Write(out / "note" / (name + "-typed"), typed.Get());
}

void SettingSeeds(const fs::path& out, const std::string& name, const TKiv& kiv) {
  // fuzz_settings reads: kind, offset, offset valid, decimal places, base bits, raw base,
  // parset length; then the text and the parset bytes.
  const int length = kiv.Zestaw1Length();
  for (int n = 1; n <= kiv.Defs.SectionCount(); ++n) {
    const TSets* sets = kiv.Defs.SectionSets(n);
    bool kindDone[5] = {};
    for (int m = 1; sets && m <= sets->Count(); ++m) {
      const TSetDesc d = sets->GetSetting(m);
      if (d.Kind > skHex || kindDone[d.Kind]) continue;
      kindDone[d.Kind] = true;
      TProviderInput in;
      in.String(SettingToText(d, kiv.Zestaw1(), length));
      in.Front(Bytes(kiv.Zestaw1(), kiv.Zestaw1() + length));
      uint64_t bits;
      std::memcpy(&bits, &d.Base, 8);
      in.Integer(d.Kind, 1);
      in.Integer(d.Offset, 1);
      in.Integer(d.OffsetValid, 1);
      in.Integer(d.DecPlaces, 1);
      in.Integer(bits, 8);
      in.Integer(1, 1);
      in.Integer(static_cast<uint64_t>(length + 1), 2);  // the range starts at -1
      Write(out / "settings" / (name + "-s" + std::to_string(n) + "-" + std::to_string(m)),
            in.Get());
    }
  }
}

void DefsSeeds(const fs::path& out, const fs::path& defsDir) {
  for (const auto& e : fs::directory_iterator(defsDir)) {
    if (e.path().extension() != ".set") continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Write(out / "defs" / e.path().filename(), text);
    // Its global part alone, and a first section whose settings have no OFFSET.
    const size_t section = text.find("[SECTION_1]");
    if (section != std::string::npos) {
      Write(out / "defs" / (e.path().stem().string() + "-global.set"), text.substr(0, section));
    }
  }
  Write(out / "defs" / "small.set",
        std::string("[GLOBAL]\nZNS_SIZE=$20\nZNS1_ADRES=0x881\nDI_correction=300\n"
                    "[SECTION_1]\nTITLE=\"Napięcia\"\nX1_NAME=U\nX1_TYPE=un\nX2_NAME=Y\n"
                    "X2_TYPE=Y/N\nX2_OFFSET=7\nX3_NAME=T\nX3_TYPE=REAL\nX3_BASE=0,01\n"
                    "X3_DEC_PLACES=2\nX3_DIM=s\n[SECTION_2]\nX1_NAME=Hex\n"));
}

void StartParamSeeds(const fs::path& out) {
  const char* texts[] = {
      "-buffile buf -zns1file z -zns2file z -kivtype kivs3",
      "-kivtype kivs2 -buffile big",
      "-kivtype K2SV0104",
      "-h",
      "-buffile dir",
      "-zns1file missing",
      "-zns2file empty -kivtype eproms string",
      "kivs2",
      "-unknown x",
  };
  int i = 0;
  for (const char* t : texts)
    Write(out / "startparams" / ("params" + std::to_string(++i)), std::string(t));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "Usage: kivfuzz_seeds OUTDIR DEFSDIR FILE.kiv...\n");
    return 2;
  }
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  const fs::path out = argv[1];
  try {
    DefsSeeds(out, argv[2]);
    StartParamSeeds(out);
    for (int i = 3; i < argc; ++i) {
      TKiv kiv;
      kiv.DefsDir = argv[2];
      if (!kiv.LoadFromFile(argv[i]))
        throw std::runtime_error(std::string("cannot load ") + argv[i]);
      const std::string name = fs::path(argv[i]).stem().string();
      ListerSeeds(out, name, kiv);
      // A full buffer only for the lister; the other targets stay with small inputs.
      if (kiv.EventBufferLength() > 2000) continue;
      EventSeeds(out, name, kiv);
      TransactSeeds(out, name, kiv);
      SettingSeeds(out, name, kiv);
      NoteSeeds(out, name, kiv);  // changes the note, so it goes into the registration seeds
      RegfileSeeds(out, name, kiv);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return 0;
}
