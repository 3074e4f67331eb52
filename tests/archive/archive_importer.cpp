// An importer for the archive's tests that holds each import's transaction open before it
// commits, through the archive's test seam: the tests kill it there, or read the archive
// meanwhile. Arguments: ARCHIVE DEFS-DIR HOLD-MS FILE.kiv...
#include <QCoreApplication>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "archivedb.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc < 5) {
    std::fprintf(stderr, "usage: archive_importer ARCHIVE DEFS-DIR HOLD-MS FILE.kiv...\n");
    return 2;
  }
  const std::string defs = argv[2];
  const unsigned long hold = std::strtoul(argv[3], nullptr, 10);
  TArchiveLocation loc;
  std::string error;
  TArchive archive;
  archive.DefsDir = defs;
  if (!ParseArchiveLocation(argv[1], loc, error) || !archive.Open(loc, error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  archive.BeforeCommit = [hold] {
    std::fprintf(stderr, "archive: holding the import open\n");
    std::fflush(stderr);
    QThread::msleep(hold);
  };
  int status = 0;
  for (int i = 4; i < argc; ++i) {
    TKiv kiv;
    kiv.DefsDir = defs;
    TImportResult r;
    if (!kiv.LoadFromFile(argv[i]) || !archive.Import(kiv, argv[i], "", r, error)) {
      std::fprintf(stderr, "%s: not archived: %s\n", argv[i], error.c_str());
      status = 2;
      continue;
    }
    std::printf("%s: %s: %s\n", argv[i], r.Device.c_str(), ImportSummary(r).c_str());
    std::fflush(stdout);
  }
  return status;
}
