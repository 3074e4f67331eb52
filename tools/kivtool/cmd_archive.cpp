// kivtool archive: the events archive from the command line. Every reading's sequences
// kept per device; queries; and any archived sequence shown, exported or written as a
// registration exactly as a registration holding it would be.
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <unistd.h>

#include "archivedb.h"
#include "commands.h"
#include "common.h"
#include "kivdate.h"
#include "kivfiles.h"

namespace {

const char* const kUsage =
    "Usage:\n"
    "  kivtool archive add FILE.kiv... [--device NAME] [--db URL]\n"
    "  kivtool archive devices [--db URL]\n"
    "  kivtool archive rename NAME NEW-NAME [--db URL]\n"
    "  kivtool archive merge NAME INTO-NAME [--yes] [--db URL]\n"
    "  kivtool archive sequences [--device NAME] [--from DATE] [--to DATE] [--code HEX]... "
    "[--text WORDS] [--db URL]\n"
    "  kivtool archive listing ID [--bold] [--db URL]\n"
    "  kivtool archive route ID [--db URL]\n"
    "  kivtool archive export ID (--comtrade DIR | --csv OUT.csv) [--db URL]\n"
    "  kivtool archive kiv ID -o OUT.kiv [--db URL]\n"
    "URL: an SQLite file or postgresql://user@host:port/dbname "
    "(default: $KIVSVC_ARCHIVE, the kiv.ini key Archive, the program's kivsvc/archive.sqlite in "
    "the data folder)";

std::unique_ptr<QCoreApplication> StartQtCore() {
  if (QCoreApplication::instance() != nullptr) return nullptr;
  static int argc = 1;
  static char name[] = "kivtool";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QCoreApplication>(argc, argv);
}

void OpenArchive(TArgs& args, TArchive& archive) {
  auto db = args.Value("--db");
  TArchiveLocation loc;
  std::string error;
  const bool ok = db ? ParseArchiveLocation(*db, loc, error)
                     : DefaultArchiveLocation(KivIniPath(), kProgramIniSection, loc, error);
  if (!ok || !archive.Open(loc, error)) throw EToolError(error);
}

int64_t SequenceId(const std::vector<std::string>& pos) {
  if (pos.size() != 1) throw EToolError(kUsage);
  try {
    size_t used = 0;
    const long long id = std::stoll(pos[0], &used);
    if (used == pos[0].size() && id > 0) return id;
  } catch (const std::exception&) {
  }
  throw EToolError("Invalid sequence id: " + pos[0]);
}

// The registration that holds archived sequence id, definitions loaded.
void LoadSequence(TArchive& archive, int64_t id, const std::string& defsDir, TKiv& kiv) {
  std::vector<uint8_t> image;
  std::string device, error;
  if (!archive.SequenceImage(id, image, device, error)) throw EToolError(error);
  kiv.DefsDir = defsDir;
  if (!LoadImage(kiv, image))
    throw EToolError("The stored reading of sequence " + std::to_string(id) + " is damaged");
}

int Add(TArgs& args, const std::string& defsDir) {
  auto device = args.Value("--device");
  TArchive archive;
  archive.DefsDir = defsDir;
  OpenArchive(args, archive);
  const std::vector<std::string> files = args.Positional();
  if (files.empty()) throw EToolError(kUsage);
  int status = 0;
  for (const std::string& file : files) {
    TKiv kiv;
    kiv.DefsDir = defsDir;
    try {
      LoadRegistration(kiv, file);
    } catch (const EToolError& e) {
      if (*e.what()) std::fprintf(stderr, "%s\n", e.what());
      std::fprintf(stderr, "%s: not archived\n", file.c_str());
      status = 2;
      continue;
    }
    TImportResult r;
    std::string error;
    if (!archive.Import(kiv, file, device ? *device : "", r, error)) {
      std::fprintf(stderr, "%s: not archived: %s\n", file.c_str(), error.c_str());
      status = 2;
      continue;
    }
    std::printf("%s: %s: %s%s\n", file.c_str(), r.Device.c_str(), ImportSummary(r).c_str(),
                r.ReadingKnown ? " (this reading was archived before)" : "");
    if (r.NewNamesake)
      std::printf("%s: shares no sequence with the device of that name: archived as %s\n",
                  file.c_str(), r.Device.c_str());
    for (const std::string& h : r.ConflictHeaders)
      std::printf("%s: differs from the archived copy, kept as a further version: %s\n",
                  file.c_str(), h.c_str());
  }
  return status;
}

int Devices(TArgs& args) {
  TArchive archive;
  OpenArchive(args, archive);
  if (!args.Positional().empty()) throw EToolError(kUsage);
  std::vector<TArchiveDevice> devices;
  std::string error;
  if (!archive.Devices(devices, error)) throw EToolError(error);
  for (const TArchiveDevice& d : devices) {
    std::printf("%s\t%s\t%s\t%d\t%d readings\t%d sequences\t%s\t%s\n", d.Name.c_str(),
                d.Identification.c_str(), d.Station.c_str(), d.Slave, d.Readings, d.Sequences,
                ReadDateText(d.FirstRead).c_str(), ReadDateText(d.LastRead).c_str());
  }
  return 0;
}

int Rename(TArgs& args) {
  TArchive archive;
  OpenArchive(args, archive);
  const std::vector<std::string> names = args.Positional();
  if (names.size() != 2) throw EToolError(kUsage);
  std::string error;
  if (!archive.Rename(names[0], names[1], error)) throw EToolError(error);
  std::printf("%s: renamed to %s\n", names[0].c_str(), names[1].c_str());
  return 0;
}

// A merge cannot be undone: it asks on a terminal, and elsewhere wants --yes.
bool ConfirmMerge(const std::string& from, const std::string& into, bool yes) {
  if (yes) return true;
  if (isatty(STDIN_FILENO) == 0)
    throw EToolError("Merging " + from + " into " + into +
                     " cannot be undone; add --yes to merge without being asked");
  std::printf("Merge the history of %s into %s? It cannot be undone. [y/N] ", from.c_str(),
              into.c_str());
  std::fflush(stdout);
  std::string answer;
  std::getline(std::cin, answer);
  return answer == "y" || answer == "Y" || answer == "yes";
}

int Merge(TArgs& args) {
  const bool yes = args.Flag("--yes");
  TArchive archive;
  OpenArchive(args, archive);
  const std::vector<std::string> names = args.Positional();
  if (names.size() != 2) throw EToolError(kUsage);
  if (!ConfirmMerge(names[0], names[1], yes)) {
    std::printf("Nothing merged\n");
    return 1;
  }
  TMergeResult r;
  std::string error;
  if (!archive.Merge(names[0], names[1], r, error)) throw EToolError(error);
  std::printf(
      "%s merged into %s: %d sequences moved, %d shared kept once, %d differing kept "
      "as further versions, %d readings\n",
      names[0].c_str(), names[1].c_str(), r.Moved, r.Shared, r.Conflicts, r.Readings);
  return 0;
}

int Sequences(TArgs& args) {
  TSequenceFilter f;
  if (auto d = args.Value("--device")) f.Device = *d;
  int64_t us = 0;
  if (auto from = args.Value("--from")) {
    if (!ParseArchiveDate(*from, false, us)) throw EToolError("Invalid date of --from: " + *from);
    f.FromUs = us;
  }
  if (auto to = args.Value("--to")) {
    if (!ParseArchiveDate(*to, true, us)) throw EToolError("Invalid date of --to: " + *to);
    f.ToUs = us;
  }
  for (const std::string& c : args.Values("--code")) {
    uint8_t code = 0;
    if (!ParseEventCode(c, code)) throw EToolError("Invalid event code: " + c);
    f.Codes.push_back(code);
  }
  for (const std::string& t : args.Values("--text"))
    for (const std::string& w : SplitWords(t)) f.Words.push_back(w);
  TArchive archive;
  OpenArchive(args, archive);
  if (!args.Positional().empty()) throw EToolError(kUsage);
  std::vector<TArchiveSequence> seqs;
  std::string error;
  if (!archive.Sequences(f, seqs, error)) throw EToolError(error);
  for (const TArchiveSequence& s : seqs)
    std::printf("%lld\t%s\t%s\n", static_cast<long long>(s.Id), s.Device.c_str(), s.Header.c_str());
  return 0;
}

}  // namespace

int CmdArchive(int argc, char** argv) {
  if (argc < 2) throw EToolError(kUsage);
  const std::string sub = argv[1];
  auto app = StartQtCore();
  if (sub == "add" || sub == "devices" || sub == "sequences" || sub == "rename" || sub == "merge") {
    TArgs args(argc - 1, argv + 1);
    const std::string defsDir = DefsDirFrom(args);
    if (sub == "add") return Add(args, defsDir);
    if (sub == "devices") return Devices(args);
    if (sub == "rename") return Rename(args);
    if (sub == "merge") return Merge(args);
    return Sequences(args);
  }
  if (sub != "listing" && sub != "route" && sub != "export" && sub != "kiv")
    throw EToolError(std::string("Unknown archive command: ") + sub + "\n" + kUsage);
  if (argc < 3) throw EToolError(kUsage);
  const int64_t id = SequenceId({argv[2]});
  // The other arguments, --db taken out, go to the command as it runs on a registration.
  std::optional<std::string> db;
  std::vector<std::string> rest;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--db") == 0) {
      if (i + 1 >= argc) throw EToolError("Missing value after --db");
      db = argv[++i];
    } else {
      rest.emplace_back(argv[i]);
    }
  }
  TArchive archive;
  {
    std::vector<std::string> dbArgs = {"archive"};
    if (db) dbArgs.insert(dbArgs.end(), {"--db", *db});
    std::vector<char*> v;
    for (std::string& a : dbArgs) v.push_back(a.data());
    TArgs args(static_cast<int>(v.size()), v.data());
    OpenArchive(args, archive);
  }
  TKiv kiv;
  LoadSequence(archive, id, InstallDir(), kiv);
  if (sub == "kiv") {
    std::vector<std::string> a = {"kiv"};
    a.insert(a.end(), rest.begin(), rest.end());
    std::vector<char*> v;
    for (std::string& x : a) v.push_back(x.data());
    TArgs kivArgs(static_cast<int>(v.size()), v.data());
    DefsDirFrom(kivArgs);  // accepted as by every command; the image needs none
    auto out = kivArgs.Value("-o");
    if (!out || !kivArgs.Positional().empty()) throw EToolError(kUsage);
    SaveRegistration(kiv, *out);
    std::printf("%s\n", out->c_str());
    return 0;
  }
  // listing, route and export run as they run on a registration file holding the sequence
  // alone, so they print exactly what they print for one.
  QTemporaryDir tmp;
  if (!tmp.isValid()) throw EToolError("Cannot create a temporary folder");
  const std::string file =
      QDir(tmp.path()).filePath(QString("archive_%1.kiv").arg(id)).toStdString();
  SaveRegistration(kiv, file);
  std::vector<std::string> a = {sub, file, "--seq", "1"};
  a.insert(a.end(), rest.begin(), rest.end());
  std::vector<char*> v;
  for (std::string& x : a) v.push_back(x.data());
  v.push_back(nullptr);
  const int n = static_cast<int>(a.size());
  if (sub == "listing") return CmdListing(n, v.data());
  if (sub == "route") return CmdRoute(n, v.data());
  return CmdExport(n, v.data());
}
