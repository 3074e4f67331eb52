// Every file written whole or not at all: the writer of every output (raw and text files,
// the COMTRADE pair, the configuration file, files drawn by another writer) under a file
// size limit keeps the previous file byte for byte, leaves no temporary and says why; what
// it replaces keeps its permissions; a drawn file is put in place only when complete.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <stdexcept>
#include <string>

#include "atomicfile.h"
#include "comtrade.h"
#include "csvexport.h"
#include "filesizelimit.h"
#include "inifile.h"
#include "kivbase.h"
#include "tempdir.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr rlim_t kLimit = 4096;

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

std::string Text(const std::string& file) {
  const Bytes b = TTempDir::Read(file);
  return std::string(b.begin(), b.end());
}

mode_t ModeOf(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Bigger than the limit, so that writing it fails part-way.
std::string BigText() {
  std::string s;
  for (int i = 0; s.size() < 3 * kLimit; ++i) s += "line " + std::to_string(i) + "\r\n";
  return s;
}

// A small well-formed PDF (body: a comment of any length): the cross-reference table where
// startxref says it is.
std::string SamplePdf(const std::string& body = "") {
  std::string pdf = "%PDF-1.4\n%" + body + "\n1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  const size_t xref = pdf.size();
  pdf += "xref\n0 2\n0000000000 65535 f \n0000000009 00000 n \ntrailer\n<< /Size 2 >>\n";
  pdf += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return pdf;
}

std::string Chunk(const std::string& type, const std::string& data) {
  std::string c;
  for (int shift : {24, 16, 8, 0}) c.push_back(static_cast<char>((data.size() >> shift) & 0xFF));
  return c + type + data + std::string("\x12\x34\x56\x78", 4);
}

std::string SamplePng() {
  return std::string("\x89PNG\r\n\x1a\n", 8) + Chunk("IHDR", std::string(13, '\1')) +
         Chunk("IDAT", std::string(40, 'x')) + Chunk("IEND", "");
}

TEST(AtomicFile, CompleteFilesAreToldFromCutOrDamagedOnes) {
  const std::string pdf = SamplePdf();
  const std::string png = SamplePng();
  EXPECT_TRUE(FileLooksComplete(TFileCheck::Pdf, pdf));
  EXPECT_TRUE(FileLooksComplete(TFileCheck::Pdf, pdf + "\r\n"));
  EXPECT_TRUE(FileLooksComplete(TFileCheck::Png, png));
  // Every shorter file is incomplete, whichever byte the write stopped at.
  for (size_t n = 0; n < pdf.size() - 1; ++n)
    EXPECT_FALSE(FileLooksComplete(TFileCheck::Pdf, pdf.substr(0, n))) << n;
  for (size_t n = 0; n < png.size(); ++n)
    EXPECT_FALSE(FileLooksComplete(TFileCheck::Png, png.substr(0, n))) << n;
  // Bytes lost in the middle move the table away from where the trailer says it is.
  std::string holed = pdf;
  holed.erase(12, 4);
  EXPECT_FALSE(FileLooksComplete(TFileCheck::Pdf, holed));
  EXPECT_FALSE(FileLooksComplete(TFileCheck::Png, png + "x"));
  EXPECT_FALSE(FileLooksComplete(TFileCheck::Pdf, png));
  EXPECT_FALSE(FileLooksComplete(TFileCheck::Png, pdf));
  EXPECT_TRUE(FileLooksComplete(TFileCheck::None, ""));
}

// Each writer with its previous file(s): under the limit nothing changes; without it the new
// content is in place.
struct TWriterCase {
  const char* what;
  std::map<std::string, std::string> previous;  // file name -> previous content
  std::function<bool(const std::string& dir, std::string& error)> write;
};

std::vector<TWriterCase> WriterCases() {
  std::vector<TWriterCase> cases;
  cases.push_back({"text", {{"events.csv", "old csv"}}, [](const std::string& dir, std::string& e) {
                     return SaveText(dir + "/events.csv", BigText(), e);
                   }});
  cases.push_back({"one call", {{"out.txt", "old"}}, [](const std::string& dir, std::string& e) {
                     return WriteFileAtomically(dir + "/out.txt", BigText(), e);
                   }});
  cases.push_back({"pair",
                   {{"seq.cfg", "old cfg"}, {"seq.dat", "old dat"}},
                   [](const std::string& dir, std::string& e) {
                     // The small .cfg would fit; the .dat does not, so neither may change.
                     return WriteFilesTogether(
                         {{dir + "/seq.dat", BigText()}, {dir + "/seq.cfg", "1,2\r\n"}}, e);
                   }});
  cases.push_back({"comtrade",
                   {{"seq1.cfg", "old cfg"}, {"seq1.dat", "old dat"}},
                   [](const std::string& dir, std::string& e) {
                     TComtradeRecord rec;
                     rec.StationName = "GPZ";
                     rec.Channels.push_back({"Q1", 0});
                     for (int i = 0; i < 400; ++i) {
                       rec.TimesUs.push_back(i * 1000);
                       rec.Samples.push_back({static_cast<uint8_t>(i & 1)});
                     }
                     return SaveComtrade(rec, dir, "seq1", e);
                   }});
  cases.push_back({"drawn", {{"g.pdf", "old pdf"}}, [](const std::string& dir, std::string& e) {
                     return ProduceFileAtomically(
                         dir + "/g.pdf", TFileCheck::Pdf,
                         [](const std::string& temp, std::string&) {
                           // A writer that, as Qt's may, reports nothing of a failed write.
                           std::ofstream(temp, std::ios::binary) << SamplePdf(BigText());
                           return true;
                         },
                         e);
                   }});
  return cases;
}

TEST(AtomicFile, EveryWriterPastTheLimitKeepsThePreviousFilesAndSaysWhy) {
  for (const TWriterCase& c : WriterCases()) {
    SCOPED_TRACE(c.what);
    TTempDir dir;
    for (const auto& [name, text] : c.previous) dir.Write(name, text);
    std::string error;
    bool written = false;
    {
      TFileSizeLimit limit(kLimit);
      ASSERT_TRUE(limit.Active());
      written = c.write(dir.Path(), error);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(error.rfind("Cannot write " + dir.Path() + "/", 0), 0u) << error;
    std::set<std::string> names;
    for (const auto& [name, text] : c.previous) {
      EXPECT_EQ(Text(dir.File(name)), text) << name;
      names.insert(name);
    }
    EXPECT_EQ(Entries(dir.Path()), names);
    // With room, the same write replaces them.
    ASSERT_TRUE(c.write(dir.Path(), error)) << error;
    for (const auto& [name, text] : c.previous) EXPECT_NE(Text(dir.File(name)), text) << name;
    EXPECT_EQ(Entries(dir.Path()), names);
  }
}

TEST(AtomicFile, PiecemealWriteAppearsOnlyAtCommit) {
  TTempDir dir;
  const std::string file = dir.Write("out.dat", std::string("old"));
  {
    TAtomicFile f(file);
    ASSERT_TRUE(f.Open());
    EXPECT_EQ(f.TempPath().rfind(file + ".kivsave-", 0), 0u) << f.TempPath();
    ASSERT_TRUE(f.Write("ab", 2));
    ASSERT_TRUE(f.Write("cd", 2));
    ASSERT_TRUE(f.Finish());
    EXPECT_EQ(Text(file), "old");
    ASSERT_TRUE(f.Commit());
    EXPECT_EQ(Text(file), "abcd");
    EXPECT_FALSE(f.Commit());  // once only
  }
  {
    // Given up before the commit: the old content stays and the temporary goes.
    TAtomicFile f(file);
    ASSERT_TRUE(f.Open());
    ASSERT_TRUE(f.Write("xyz", 3));
  }
  EXPECT_EQ(Text(file), "abcd");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"out.dat"});
}

TEST(AtomicFile, ReasonNamesTheFileAndTheSystemsWords) {
  TTempDir dir;
  const std::string file = dir.Write("out.csv", std::string("old"));
  std::string error;
  {
    TFileSizeLimit limit(kLimit);
    ASSERT_TRUE(limit.Active());
    EXPECT_FALSE(SaveText(file, BigText(), error));
  }
  EXPECT_EQ(error, "Cannot write " + file + ": File too large");
  EXPECT_EQ(Text(file), "old");
}

TEST(AtomicFile, DrawnFileThatCameOutIncompleteIsNotPutInPlace) {
  TTempDir dir;
  const std::string file = dir.Write("g.png", std::string("old png"));
  std::string error;
  const std::string png = SamplePng();
  EXPECT_FALSE(ProduceFileAtomically(
      file, TFileCheck::Png,
      [&](const std::string& temp, std::string&) {
        std::ofstream(temp, std::ios::binary) << png.substr(0, png.size() - 5);
        return true;
      },
      error));
  EXPECT_NE(error.find("Cannot write " + file + ": the file came out incomplete"),
            std::string::npos)
      << error;
  EXPECT_EQ(Text(file), "old png");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"g.png"});

  // A writer that gives up or throws leaves nothing either.
  EXPECT_FALSE(ProduceFileAtomically(
      file, TFileCheck::None,
      [](const std::string&, std::string& why) {
        why = "Nothing printed";
        return false;
      },
      error));
  EXPECT_EQ(error, "Nothing printed");
  EXPECT_THROW(
      ProduceFileAtomically(
          file, TFileCheck::None,
          [](const std::string&, std::string&) -> bool { throw std::runtime_error("x"); }, error),
      std::runtime_error);
  EXPECT_EQ(Text(file), "old png");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"g.png"});

  ASSERT_TRUE(ProduceFileAtomically(
      file, TFileCheck::Png,
      [&](const std::string& temp, std::string&) {
        std::ofstream(temp, std::ios::binary) << png;
        return true;
      },
      error))
      << error;
  EXPECT_EQ(Text(file), png);
}

TEST(AtomicFile, ReplacedFilesKeepTheirPermissionsAndNewOnesFollowTheMask) {
  TTempDir dir;
  const std::string text = dir.Write("private.csv", std::string("old"));
  ::chmod(text.c_str(), 0600);
  std::string error;
  ASSERT_TRUE(SaveText(text, "new", error)) << error;
  EXPECT_EQ(ModeOf(text), 0600u);
  ::chmod(text.c_str(), 0640);
  ASSERT_TRUE(SaveText(text, "newer", error)) << error;
  EXPECT_EQ(ModeOf(text), 0640u);

  // A registration of 0600 stays 0600 through Save.
  TKiv kiv;
  const std::string reg = dir.File("private.kiv");
  ASSERT_TRUE(kiv.SaveToFile(reg));
  ::chmod(reg.c_str(), 0600);
  kiv.SetStationInfo("changed");
  ASSERT_TRUE(kiv.SaveToFile(reg));
  EXPECT_EQ(ModeOf(reg), 0600u);

  // The configuration file too (it may hold a server's address the user keeps private).
  const std::string ini = dir.Write("kiv.ini", std::string("[Main]\r\n"));
  ::chmod(ini.c_str(), 0600);
  TIniFile config(ini);
  config.WriteInteger("Main", "Port", 2);
  ASSERT_TRUE(config.UpdateFile(&error)) << error;
  EXPECT_EQ(ModeOf(ini), 0600u);

  const mode_t mask = ::umask(027);
  ASSERT_TRUE(SaveText(dir.File("new.csv"), "x", error)) << error;
  ::umask(mask);
  EXPECT_EQ(ModeOf(dir.File("new.csv")), 0640u);
}

TEST(AtomicFile, ConfigurationFileKeptWhenItCannotBeWritten) {
  TTempDir dir;
  const std::string ini = dir.Write("kiv.ini", std::string("[Main]\r\nPort=1\r\n"));
  TIniFile file(ini);
  file.WriteString("Main", "Note", BigText());
  std::string error;
  {
    TFileSizeLimit limit(kLimit);
    ASSERT_TRUE(limit.Active());
    EXPECT_FALSE(file.UpdateFile(&error));
  }
  EXPECT_EQ(error, "Cannot write " + ini + ": File too large");
  EXPECT_EQ(Text(ini), "[Main]\r\nPort=1\r\n");
  EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"kiv.ini"});
  EXPECT_TRUE(file.UpdateFile(&error)) << error;
  EXPECT_NE(Text(ini).find("Note="), std::string::npos);
}

TEST(AtomicFile, OnlyRegularFilesAreReplacedAndLinksStay) {
  TTempDir dir;
  const std::string pipe = dir.File("pipe.csv");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::string error;
  EXPECT_FALSE(SaveText(pipe, "x", error));
  EXPECT_EQ(error, "Cannot write " + pipe + ": not a regular file");
  EXPECT_EQ(std::filesystem::status(pipe).type(), std::filesystem::file_type::fifo);

  const std::string real = dir.Write("real.csv", std::string("old"));
  const std::string link = dir.File("link.csv");
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(SaveText(link, "new", error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(Text(real), "new");

  EXPECT_FALSE(SaveText(dir.File("missing/x.csv"), "x", error));
  EXPECT_EQ(error, "Cannot write " + dir.File("missing/x.csv") + ": No such file or directory");
}

}  // namespace
