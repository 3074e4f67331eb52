#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>

#include "kivbase.h"
#include "kivfiles.h"
#include "messages.h"
#include "tempdir.h"

namespace {

void PutLe16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x & 0xFF));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

void PutDouble(std::vector<uint8_t>& v, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  for (int i = 0; i < 8; ++i) v.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

struct TOlderSpec {
  uint8_t type = 2;
  uint8_t major = 3;
  std::vector<std::string> lines = {"first", "", "third"};
  std::vector<uint8_t> events = {0xF3, 1, 2, 3, 4, 5};
  std::vector<uint8_t> z1 = {0x00, 0x10, 0x00, 0x20};
  std::vector<uint8_t> z2 = {0xAB};
  uint16_t eventsLen = 0xFFFF, z1Len = 0xFFFF, z2Len = 0xFFFF;  // 0xFFFF: the real size
  std::string ident = "K3ABCDEF";
};

std::vector<uint8_t> OlderFile(const TOlderSpec& s) {
  std::vector<uint8_t> v(260, 0);
  v[0] = 0x55;
  std::memcpy(&v[1], "KIVS", 4);
  v[5] = s.type;
  v[6] = s.major;
  v[7] = static_cast<uint8_t>(s.lines.size());
  double created = 45000.25;
  std::memcpy(&v[8], &created, 8);
  for (size_t i = 0; i < s.lines.size(); ++i) v[16 + i] = static_cast<uint8_t>(s.lines[i].size());
  for (const auto& line : s.lines) {
    v.push_back(static_cast<uint8_t>(line.size()));
    v.insert(v.end(), line.begin(), line.end());
  }
  PutDouble(v, 45001.0);
  PutDouble(v, 45002.0);
  PutDouble(v, 45003.0);
  const uint8_t options[] = {12, 1, 0, 1, 0, 1};
  v.insert(v.end(), options, options + 6);
  auto area = [&](const std::vector<uint8_t>& bytes, uint16_t len) {
    PutLe16(v, len == 0xFFFF ? static_cast<uint16_t>(bytes.size()) : len);
    v.insert(v.end(), bytes.begin(), bytes.end());
  };
  area(s.events, s.eventsLen);
  area(s.z1, s.z1Len);
  area(s.z2, s.z2Len);
  if (s.major > 2) {
    v.insert(v.end(), s.ident.begin(), s.ident.end());
    v.push_back(0);
  }
  return v;
}

std::vector<std::string> Note(const TKiv& kiv) {
  std::vector<std::string> lines;
  NoteToLines(kiv.NoteArea(), kivimg::kNoteAreaSize, lines);
  return lines;
}

TEST(KivFiles, SaveAndLoadGiveIdenticalImage) {
  TTempDir dir;
  TKiv a;
  a.DefsDir = dir.Path();
  a.SetIdentification("K3ABCD");
  a.SetKivType(a.GetKivType());
  a.SetStationInfo("Stacja Żory");
  for (int i = 0; i < 15360; ++i) a.EventBuffer()[i] = static_cast<uint8_t>(i * 7);
  a.SetEventBufferLength(15360);
  a.SetZestaw1Length(238);
  a.Zestaw1()[5] = 0x42;
  LinesToNote({"note one", "", "note three"}, a.NoteArea(), kivimg::kNoteAreaSize);
  a.Modified = true;
  std::string file = dir.File("a.kiv");
  ASSERT_TRUE(a.SaveToFile(file));
  EXPECT_FALSE(a.Modified);
  std::vector<uint8_t> saved = TTempDir::Read(file);
  ASSERT_EQ(saved.size(), 20486u);
  EXPECT_EQ(0, std::memcmp(saved.data(), a.Image(), 20486));

  TKiv b;
  b.DefsDir = dir.Path();
  int fired = 0;
  b.OnEvRegCompleted = b.OnCompleteZestawNastaw1 = b.OnCompleteAll = [&] { ++fired; };
  b.Modified = true;
  ASSERT_TRUE(b.LoadFromFile(file));
  EXPECT_EQ(fired, 3);
  EXPECT_FALSE(b.Modified);
  EXPECT_EQ(0, std::memcmp(b.Image(), a.Image(), 20486));
  EXPECT_EQ(b.GetKivType(), kivtKivs3);
  EXPECT_EQ(b.StationInfo(), "Stacja Żory");
  EXPECT_EQ(Note(b), (std::vector<std::string>{"note one", "", "note three"}));
  ASSERT_TRUE(b.SaveToFile(dir.File("b.kiv")));
  EXPECT_EQ(TTempDir::Read(dir.File("b.kiv")), saved);
}

TEST(KivFiles, BrokenFilesAreRefusedAndChangeNothing) {
  TTempDir dir;
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  kiv.SetKivType(kivtKivs2);
  kiv.SetEventBufferLength(3);
  kiv.Modified = true;
  std::vector<uint8_t> before(kiv.Image(), kiv.Image() + 20486);

  std::vector<uint8_t> current(20486, 0);
  std::memcpy(current.data(), "KIVS-3", 6);
  auto withLengths = [&](uint16_t ev, uint16_t z1, uint16_t z2) {
    std::vector<uint8_t> v = current;
    v[4096] = ev & 0xFF, v[4097] = ev >> 8;
    v[19458] = z1 & 0xFF, v[19459] = z1 >> 8;
    v[19972] = z2 & 0xFF, v[19973] = z2 >> 8;
    return v;
  };
  auto longer = current;
  longer.push_back(0);  // 20487 bytes: bytes 1..4 read "IVS-", so not the older format either
  auto shorter = current;
  shorter.pop_back();  // 20485 bytes of a current file
  auto twice = current;
  twice.insert(twice.end(), current.begin(), current.end());  // 40972 bytes: two images

  TOlderSpec tooLongEvents;
  tooLongEvents.eventsLen = 15361;
  TOlderSpec pastEnd;
  pastEnd.z2Len = 300;  // declares more than the file holds
  TOlderSpec bigParset;
  bigParset.z1Len = 513;
  TOlderSpec bigParset2;
  bigParset2.z2Len = 513;
  // Lengths each within their area whose data the file does not hold.
  TOlderSpec eventsPastEnd;
  eventsPastEnd.eventsLen = 15360;
  TOlderSpec parset1PastEnd;
  parset1PastEnd.z1Len = 512;
  TOlderSpec allTooLarge;
  allTooLarge.eventsLen = 0xFFFE;
  allTooLarge.z1Len = 0xFFFE;
  allTooLarge.z2Len = 0xFFFE;
  std::vector<uint8_t> cut = OlderFile(TOlderSpec{});
  cut.resize(270);  // ends inside the note lines

  std::vector<std::vector<uint8_t>> broken = {
      {},
      {'K'},
      std::vector<uint8_t>(20485, 'K'),
      shorter,
      longer,
      twice,
      withLengths(15361, 0, 0),
      withLengths(0, 513, 0),
      withLengths(0, 0, 600),
      std::vector<uint8_t>(131073, 0),
      OlderFile(tooLongEvents),
      OlderFile(pastEnd),
      OlderFile(bigParset),
      OlderFile(bigParset2),
      OlderFile(eventsPastEnd),
      OlderFile(parset1PastEnd),
      OlderFile(allTooLarge),
      cut,
  };
  const std::string defsBefore = kiv.Defs.LoadedFile;
  int fired = 0;
  kiv.OnCompleteZestawNastaw1 = kiv.OnEvRegCompleted = kiv.OnCompleteAll = [&] { ++fired; };
  for (size_t i = 0; i < broken.size(); ++i) {
    TRecordingMessages messages;
    TScopedMessageService scope(&messages);
    std::string file = dir.Write("broken" + std::to_string(i) + ".kiv", broken[i]);
    EXPECT_FALSE(kiv.LoadFromFile(file)) << i;
    ASSERT_EQ(messages.shown.size(), 1u) << i;
    EXPECT_EQ(messages.shown[0].text, "File unknown format");
    EXPECT_EQ(messages.shown[0].icon, MsgIcon::Error);
    EXPECT_EQ(std::vector<uint8_t>(kiv.Image(), kiv.Image() + 20486), before) << i;
    EXPECT_TRUE(kiv.Modified) << i;
    EXPECT_EQ(kiv.GetKivType(), kivtKivs2) << i;
    EXPECT_EQ(kiv.Defs.LoadedFile, defsBefore) << i;
    EXPECT_EQ(fired, 0) << i;
  }
}

TEST(KivFiles, OlderFileEndingBeforeParsetTwoIsWholeIsRefused) {
  // Every length of an older file cut short: until the last byte of parset 2 it is
  // refused, after it the identification is read as far as the file goes.
  TTempDir dir;
  TOlderSpec older;
  const std::vector<uint8_t> whole = OlderFile(older);
  const size_t identStart = whole.size() - older.ident.size() - 1;
  for (size_t n = 0; n <= whole.size(); ++n) {
    TKiv kiv;
    kiv.DefsDir = dir.Path();
    kiv.Modified = true;
    std::vector<uint8_t> before(kiv.Image(), kiv.Image() + 20486);
    TRecordingMessages messages;
    TScopedMessageService scope(&messages);
    std::string file = dir.Write("cut.kiv", std::vector<uint8_t>(whole.begin(), whole.begin() + n));
    bool loaded = kiv.LoadFromFile(file);
    EXPECT_EQ(loaded, n >= identStart) << n;
    if (loaded) {
      EXPECT_TRUE(messages.shown.empty()) << n;
      EXPECT_EQ(kiv.Zestaw2Length(), 1) << n;
      EXPECT_EQ(kiv.Identification(), older.ident.substr(0, n - identStart)) << n;
    } else {
      ASSERT_EQ(messages.shown.size(), 1u) << n;
      EXPECT_EQ(messages.shown[0].text, "File unknown format") << n;
      EXPECT_EQ(std::vector<uint8_t>(kiv.Image(), kiv.Image() + 20486), before) << n;
      EXPECT_TRUE(kiv.Modified) << n;
    }
  }
}

TEST(KivFiles, OlderFormatConverts) {
  TTempDir dir;
  TKiv kiv;
  kiv.DefsDir = dir.Path();
  kiv.SetStationInfo("kept");
  std::string file = dir.Write("old.kiv", OlderFile(TOlderSpec{}));
  ASSERT_TRUE(kiv.LoadFromFile(file));
  EXPECT_EQ(kiv.GetKivType(), kivtKivs3);
  EXPECT_EQ(kiv.VersionMajor(), 3);
  EXPECT_EQ(kiv.VersionMinor(), 0);
  EXPECT_EQ(kiv.CreateDate(), 45000.25);
  EXPECT_EQ(kiv.EventsReadDate(), 45001.0);
  EXPECT_EQ(kiv.Zestaw2ReadDate(), 45003.0);
  EXPECT_EQ(kiv.GetReadOptions().SlaveNo, 12);
  EXPECT_EQ(kiv.GetReadOptions().ShowAllEvents, 1);
  EXPECT_TRUE(kiv.Modified);  // the slave number changed
  EXPECT_EQ(kiv.EventBufferLength(), 6);
  EXPECT_EQ(kiv.EventBuffer()[5], 5);
  EXPECT_EQ(kiv.Zestaw1Length(), 4);
  EXPECT_EQ(kiv.Zestaw1()[3], 0x20);
  EXPECT_EQ(kiv.Zestaw2Length(), 1);
  EXPECT_EQ(kiv.Identification(), "K3ABCDEF");
  EXPECT_EQ(kiv.StationInfo(), "kept");
  EXPECT_EQ(Note(kiv), (std::vector<std::string>{"first", "", "third"}));

  // Version 2 carries no identification: the object keeps its own.
  TOlderSpec v2;
  v2.major = 2;
  v2.type = 1;
  kiv.SetIdentification("PREV");
  ASSERT_TRUE(kiv.LoadFromFile(dir.Write("v2.kiv", OlderFile(v2))));
  EXPECT_EQ(kiv.Identification(), "PREV");
  EXPECT_EQ(kiv.VersionMajor(), 2);
}

TEST(KivFiles, UnreadableFileKeepsImageAndRefreshes) {
  TTempDir dir;
  TKiv kiv;
  kiv.Modified = true;
  int fired = 0;
  kiv.OnCompleteAll = [&] { ++fired; };
  EXPECT_FALSE(kiv.LoadFromFile(dir.File("missing.kiv")));
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(kiv.Modified);
}

TEST(KivFiles, FailedSaveKeepsPreviousFile) {
  TTempDir dir;
  TKiv kiv;
  std::string file = dir.Write("keep.kiv", std::string("previous content"));
  // A folder that cannot be written: the file cannot be created.
  std::filesystem::create_directories(dir.File("ro"));
  std::string roFile = dir.Write("ro/x.kiv", std::string("old"));
  ::chmod(dir.File("ro").c_str(), 0500);
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  kiv.Modified = true;
  if (::access(dir.File("ro").c_str(), W_OK) != 0) {  // root may write anywhere
    EXPECT_FALSE(kiv.SaveToFile(roFile));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "Error Not saved.\nCannot write " + roFile + ": Permission denied");
    EXPECT_TRUE(kiv.Modified);
    EXPECT_EQ(TTempDir::Read(roFile), (std::vector<uint8_t>{'o', 'l', 'd'}));
  }
  ::chmod(dir.File("ro").c_str(), 0700);
  // A full disk and a save killed part-way are tested in tests/files on a small file
  // system of their own (never on /dev/full: as root, the temporary file beside it could
  // be renamed over the device).
  ASSERT_TRUE(kiv.SaveToFile(file));
  EXPECT_EQ(TTempDir::Read(file).size(), 20486u);
  size_t entries = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);  // keep.kiv and ro/, no temporary files
}

TEST(KivFiles, NoteAreaRoundTrip) {
  std::vector<uint8_t> area(16, 0xEE);
  LinesToNote({"a", "", "b"}, area.data(), area.size());
  const uint8_t expected[] = {'a', 0, 13, 10, 'b', 0, 0};
  EXPECT_EQ(0, std::memcmp(area.data(), expected, sizeof expected));
  std::vector<std::string> lines;
  NoteToLines(area.data(), area.size(), lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "", "b"}));

  // A shorter note replaces a longer one.
  LinesToNote({"one", "two", "three"}, area.data(), area.size());
  LinesToNote({"x"}, area.data(), area.size());
  lines.clear();
  NoteToLines(area.data(), area.size(), lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"x"}));

  // Lines that do not fit with their terminator and the ending NUL are left out.
  std::vector<uint8_t> small(8, 0xEE);
  LinesToNote({"abc", "defg", "h"}, small.data(), small.size());
  lines.clear();
  NoteToLines(small.data(), small.size(), lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"abc"}));

  // An area starting with NUL holds no lines; the last byte always counts as NUL.
  std::vector<uint8_t> empty(4, 0);
  lines.clear();
  NoteToLines(empty.data(), empty.size(), lines);
  EXPECT_TRUE(lines.empty());
  std::vector<uint8_t> unterminated = {'a', 'b', 'c', 'd'};
  NoteToLines(unterminated.data(), unterminated.size(), lines);
  EXPECT_TRUE(lines.empty());
  // CR LF pairs and lone LFs both end lines; text is Windows-1250 in the area.
  std::vector<uint8_t> mixed = {'a', 13, 10, 'b', 10, 0xB9, 0, 0};
  NoteToLines(mixed.data(), mixed.size(), lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "ą"}));
}

}  // namespace

namespace {

class TEnvGuard {
 public:
  explicit TEnvGuard(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
  }
  ~TEnvGuard() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(KivFiles, InstallDirRule) {
  TEnvGuard guard("KIVSVC_INSTALLDIR");
  ::setenv("KIVSVC_INSTALLDIR", "/opt/kiv/defs", 1);
  EXPECT_EQ(InstallDir(), "/opt/kiv/defs");
  ::unsetenv("KIVSVC_INSTALLDIR");
  std::string exe = ExecutableDir();
  bool exeHoldsSet = false;
  for (auto& e : std::filesystem::directory_iterator(exe)) {
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    exeHoldsSet |= e.is_regular_file() && ext == ".set";
  }
  std::string share = exe + "/../share/kivsvc";
  if (exeHoldsSet) {
    EXPECT_EQ(InstallDir(), exe);
  } else if (std::filesystem::is_directory(share)) {
    EXPECT_EQ(InstallDir(), share);
  } else {
    EXPECT_EQ(InstallDir(), exe);
  }
  EXPECT_EQ(FindFileNoCase(exe, "no-such-file.set"), "");
}

}  // namespace

namespace {

TEST(KivFiles, SavingKeepsLinksAndNeverReplacesDevices) {
  TTempDir dir;
  TKiv kiv;
  std::string real = dir.Write("real.kiv", std::string("old"));
  std::string link = dir.File("link.kiv");
  std::filesystem::create_symlink(real, link);
  ASSERT_TRUE(kiv.SaveToFile(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(TTempDir::Read(real).size(), 20486u);

  // Anything but a regular file (here a pipe; a device node is the same case) is not a
  // registration file: nothing is written and the save is refused. A pipe of our own, not
  // a device, so that a broken save could never destroy a system file.
  std::string pipe = dir.File("pipe.kiv");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  kiv.Modified = true;
  EXPECT_FALSE(kiv.SaveToFile(pipe));
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text,
            "Error Not saved.\nCannot write " + pipe + ": not a regular file");
  EXPECT_TRUE(kiv.Modified);
  EXPECT_EQ(std::filesystem::status(pipe).type(), std::filesystem::file_type::fifo);
}

// A save keeps the permissions of the file it replaces (a private registration stays
// private); a new file gets those the umask leaves of 0666.
TEST(KivFiles, SaveKeepsThePermissionsOfTheFileItReplaces) {
  TTempDir dir;
  TKiv kiv;
  auto modeOf = [](const std::string& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
  };
  for (mode_t mode : {0600, 0640, 0604, 0660}) {
    SCOPED_TRACE(mode);
    const std::string file = dir.Write("own.kiv", "old");
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    ASSERT_TRUE(kiv.SaveToFile(file));
    EXPECT_EQ(modeOf(file), static_cast<int>(mode));
    EXPECT_EQ(TTempDir::Read(file).size(), 20486u);
  }
  const mode_t before = ::umask(027);
  const bool saved = kiv.SaveToFile(dir.File("new.kiv"));
  ::umask(before);
  ASSERT_TRUE(saved);
  EXPECT_EQ(modeOf(dir.File("new.kiv")), 0640);
}

TEST(KivFiles, SaveRemovesStaleTemporariesOfItsFileOnly) {
  TTempDir dir;
  TKiv kiv;
  const std::string file = dir.File("site.kiv");
  // What saves killed part-way left, a save running in another program (its temporary is
  // locked), and files that only look alike.
  const std::string stale1 = dir.Write("site.kiv.kivsave-Ab12Cd", std::string("partial"));
  const std::string stale2 = dir.Write("site.kiv.kivsave-zzzzzz", std::string(""));
  const std::string running = dir.Write("site.kiv.kivsave-Run123", std::string("busy"));
  const std::string backup = dir.Write("site.kiv.backup", std::string("mine"));
  const std::string other = dir.Write("other.kiv.kivsave-Ab12Cd", std::string("x"));
  const std::string longer = dir.Write("site.kiv.kivsave-Ab12Cd7", std::string("x"));
  int fd = ::open(running.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  ASSERT_TRUE(kiv.SaveToFile(file));
  ::close(fd);
  EXPECT_FALSE(std::filesystem::exists(stale1));
  EXPECT_FALSE(std::filesystem::exists(stale2));
  EXPECT_TRUE(std::filesystem::exists(running));
  EXPECT_TRUE(std::filesystem::exists(backup));
  EXPECT_TRUE(std::filesystem::exists(other));
  EXPECT_TRUE(std::filesystem::exists(longer));
  EXPECT_EQ(TTempDir::Read(file).size(), 20486u);
  // A raw file saved into the same folder cleans up after itself the same way.
  const std::string raw = dir.File("ev.bin");
  const std::string rawStale = dir.Write("ev.bin.kivsave-q1w2e3", std::string("x"));
  const uint8_t bytes[3] = {1, 2, 3};
  ASSERT_TRUE(WriteRawFile(raw, bytes, 3));
  EXPECT_FALSE(std::filesystem::exists(rawStale));
  EXPECT_TRUE(std::filesystem::exists(running));
}

}  // namespace
