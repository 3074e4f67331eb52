// Archive benchmark (a timed run, not a test): a history of several devices generated with
// `kivtool generate` (each device's ring rolls over between its readings), imported reading
// by reading; then the code-and-date query over every device, the README's figures.
//   bench_archive --kivtool PATH --defs DIR [--db URL] [--devices 10] [--readings 100]
//                 [--advance 60] [--events 2000000]
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archivedb.h"
#include "kivfiles.h"

namespace {

using TClock = std::chrono::steady_clock;
double Seconds(TClock::time_point a, TClock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

std::string Arg(int argc, char** argv, const std::string& name, const std::string& def) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == name) return argv[i + 1];
  return def;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string kivtool = Arg(argc, argv, "--kivtool", "");
  const std::string defs = Arg(argc, argv, "--defs", "");
  const int devices = std::stoi(Arg(argc, argv, "--devices", "10"));
  const int readings = std::stoi(Arg(argc, argv, "--readings", "100"));
  const int advance = std::stoi(Arg(argc, argv, "--advance", "60"));
  const long long wantEvents = std::stoll(Arg(argc, argv, "--events", "2000000"));
  QTemporaryDir tmp;
  std::string db = Arg(argc, argv, "--db", "");
  if (db.empty()) db = QDir(tmp.path()).filePath("archive.sqlite").toStdString();
  if (kivtool.empty()) {
    std::fprintf(stderr, "usage: bench_archive --kivtool PATH --defs DIR [--db URL]\n");
    return 2;
  }

  // The history: reading r of device d holds the newest sequences of the first
  // 80 + r * advance of its life, as many as its ring keeps; made when first needed.
  double generating = 0;
  const auto reading = [&](int d, int r) {
    const auto a = TClock::now();
    const QString out = QDir(tmp.path()).filePath(QString("d%1_r%2.kiv").arg(d).arg(r));
    QProcess p;
    p.start(QString::fromStdString(kivtool),
            {"generate", "--type", d % 2 ? "kivs3" : "kivs2", "--seed", QString::number(100 + d),
             "--sequences", QString::number(80 + r * advance), "--station",
             QString("Station %1").arg(d), "-o", out, "--defs", QString::fromStdString(defs)});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
      std::fprintf(stderr, "kivtool generate failed: %s\n", p.readAllStandardError().constData());
      std::exit(1);
    }
    generating += Seconds(a, TClock::now());
    return out.toStdString();
  };
  const int extra = 200;  // readings beyond the timed ones, to reach the query's event count

  TArchiveLocation loc;
  std::string error;
  TArchive archive;
  archive.DefsDir = defs;
  if (!ParseArchiveLocation(db, loc, error) || !archive.Open(loc, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  // Readings in the order they were taken, the devices interleaved.
  int imported = 0, fresh = 0, grown = 0, known = 0;
  double importing = 0;
  const auto importRound = [&](int r) {
    for (int d = 0; d < devices; ++d) {
      TKiv kiv;
      kiv.DefsDir = defs;
      const std::string file = reading(d, r);
      const double generated = generating;
      const auto a = TClock::now();
      if (!kiv.LoadFromFile(file)) return false;
      TImportResult res;
      if (!archive.Import(kiv, file, "", res, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
      }
      importing += Seconds(a, TClock::now());
      (void)generated;
      ++imported;
      fresh += res.New;
      grown += res.Grown;
      known += res.Known;
    }
    return true;
  };
  for (int r = 0; r < readings; ++r)
    if (!importRound(r)) return 1;
  int64_t nReadings = 0, nSequences = 0, nEvents = 0;
  archive.Counts(nReadings, nSequences, nEvents, error);
  std::printf("engine: %s\n", loc.Postgres ? "PostgreSQL" : "SQLite");
  std::printf("generated %d readings with kivtool generate in %.1f s\n", imported, generating);
  std::printf(
      "imported %d readings in %.1f s: %.1f readings/s (%d new, %d grown, %d known "
      "sequences)\n",
      imported, importing, imported / importing, fresh, grown, known);
  std::printf("archive: %lld readings, %lld sequences, %lld events\n",
              static_cast<long long>(nReadings), static_cast<long long>(nSequences),
              static_cast<long long>(nEvents));
  std::printf("archive size after %d readings: %.1f MB\n", imported, archive.SizeBytes() / 1e6);

  for (int r = readings; r < readings + extra && nEvents < wantEvents; ++r) {
    if (!importRound(r)) return 1;
    archive.Counts(nReadings, nSequences, nEvents, error);
  }
  std::printf("query archive: %lld readings, %lld sequences, %lld events\n",
              static_cast<long long>(nReadings), static_cast<long long>(nSequences),
              static_cast<long long>(nEvents));
  std::printf("archive size: %.1f MB\n", archive.SizeBytes() / 1e6);

  // sequences --code X --from --to over every device: restarts (F5) and the main breaker's
  // opening (26h) in a year of the history; the median of repeated runs.
  std::vector<TArchiveSequence> all;
  archive.Sequences({}, all, error);
  const int64_t first = all.front().StartUs, last = all.back().StartUs;
  for (uint8_t code : {uint8_t{0xF5}, uint8_t{0x26}}) {
    TSequenceFilter f;
    f.Codes = {code};
    f.FromUs = first + (last - first) / 3;
    f.ToUs = *f.FromUs + int64_t{365} * 86400 * 1000000;
    std::vector<double> times;
    size_t found = 0;
    for (int i = 0; i < 15; ++i) {
      std::vector<TArchiveSequence> out;
      const auto a = TClock::now();
      if (!archive.Sequences(f, out, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
      }
      times.push_back(Seconds(a, TClock::now()) * 1000);
      found = out.size();
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "sequences --code %02X --from --to (one year): %zu sequences, median %.1f ms, "
        "best %.1f ms\n",
        code, found, times[times.size() / 2], times.front());
  }
  return 0;
}
