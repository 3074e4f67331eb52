// Saving never loses the previous file: into a read-only folder, onto a full disk, past a
// file size limit, and killed with SIGKILL at random moments, the file is always the
// previous one intact or the complete new one, and a failed save says "Error Not saved."
// and leaves the registration modified.
//
// Root writes into any folder and a full disk needs a file system of its own, so those
// cases run in a child process with a mount namespace of its own and a small tmpfs (as
// root, or as the root of a user namespace); where the system allows neither they are
// skipped with the reason.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "kivbase.h"
#include "kivfiles.h"
#include "messages.h"
#include "tempdir.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr const char* kSkip = "SKIP: ";

Bytes ImageOf(const TKiv& kiv) {
  return Bytes(kiv.Image(), kiv.Image() + kiv.ImageSize());
}

void Fill(TKiv& kiv, uint8_t seed) {
  for (uint32_t i = 0; i < kivimg::kEventBufferCapacity; ++i)
    kiv.EventBuffer()[i] = static_cast<uint8_t>(i * seed + 1);
  kiv.SetEventBufferLength(static_cast<uint16_t>(1000 + seed));
  kiv.SetStationInfo("station " + std::to_string(seed));
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

bool Exists(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0;
}

// Runs fn in a child process and returns what it returned: "" when every check held, the
// failures otherwise, or kSkip and a reason.
std::string InChild(const std::function<std::string()>& fn) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    std::string result;
    try {
      result = fn();
    } catch (const std::exception& e) {
      result = std::string("unexpected exception: ") + e.what();
    }
    size_t done = 0;
    while (done < result.size()) {
      ssize_t n = ::write(fds[1], result.data() + done, result.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buf[512];
  ssize_t n;
  while ((n = ::read(fds[0], buf, sizeof buf)) > 0) result.append(buf, static_cast<size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child ended abnormally";
  return result;
}

bool WriteText(const char* file, const std::string& text) {
  const int fd = ::open(file, O_WRONLY);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// In the child: gives it mounts of its own and a tmpfs of `size` at dir. Empty on success,
// else why not.
std::string MountPrivateTmpfs(const std::string& dir, const std::string& size) {
  if (::unshare(CLONE_NEWNS) != 0) {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
      return std::string("no mount namespace: ") + std::strerror(errno);
    WriteText("/proc/self/setgroups", "deny");
    if (!WriteText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !WriteText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
      return "cannot map the user namespace";
  }
  if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    return std::string("cannot make mounts private: ") + std::strerror(errno);
  if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0)
    return std::string("cannot mount a tmpfs: ") + std::strerror(errno);
  return "";
}

void CheckResult(const std::string& result) {
  if (result.rfind(kSkip, 0) == 0) GTEST_SKIP() << result.substr(std::strlen(kSkip));
  EXPECT_EQ(result, "");
}

// What a failed save must leave: the message, Modified, the previous bytes, no temporary.
std::string CheckFailedSave(TKiv& kiv, const std::string& dir, const std::string& file,
                            const Bytes& previous, const std::set<std::string>& entries) {
  TRecordingMessages messages;
  TScopedMessageService scope(&messages);
  kiv.Modified = true;
  std::string text;
  bool saved = false;
  try {
    saved = kiv.SaveToFile(file);
    if (messages.shown.size() == 1) text = messages.shown[0].text;
  } catch (const EInOutError& e) {
    text = e.what();
  }
  std::string fails;
  if (saved) fails += "saved; ";
  if (text.rfind("Error Not saved.", 0) != 0) fails += "message '" + text + "'; ";
  if (!kiv.Modified) fails += "no longer modified; ";
  if (previous.empty() ? Exists(file) : TTempDir::Read(file) != previous)
    fails += "previous file changed; ";
  if (Entries(dir) != entries) fails += "files left behind; ";
  return fails;
}

TEST(Saving, ReadOnlyFolderKeepsPreviousFile) {
  TTempDir dir;
  CheckResult(InChild([&]() -> std::string {
    const bool root = ::geteuid() == 0;
    if (root) {
      // Permissions do not stop root: a read-only file system does.
      std::string why = MountPrivateTmpfs(dir.Path(), "1m");
      if (!why.empty()) return kSkip + why;
    }
    const std::string file = dir.File("reg.kiv");
    TKiv previous;
    Fill(previous, 1);
    if (!previous.SaveToFile(file)) return "cannot save the previous file";
    if (root) {
      if (::mount(nullptr, dir.Path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return std::string(kSkip) + "cannot remount read-only: " + std::strerror(errno);
    } else {
      ::chmod(dir.Path().c_str(), 0500);
    }
    if (::access(dir.Path().c_str(), W_OK) == 0)
      return std::string(kSkip) + "the folder stays writable";
    TKiv kiv;
    Fill(kiv, 2);
    std::string fails = CheckFailedSave(kiv, dir.Path(), file, ImageOf(previous), {"reg.kiv"});
    fails += CheckFailedSave(kiv, dir.Path(), dir.File("new.kiv"), {}, {"reg.kiv"});
    ::chmod(dir.Path().c_str(), 0700);
    return fails;
  }));
}

TEST(Saving, FullDiskKeepsPreviousFile) {
  TTempDir dir;
  CheckResult(InChild([&]() -> std::string {
    // Room for one registration (six pages) and two pages more.
    std::string why = MountPrivateTmpfs(dir.Path(), "32k");
    if (!why.empty()) return kSkip + why;
    const std::string file = dir.File("reg.kiv");
    TKiv previous;
    Fill(previous, 1);
    if (!previous.SaveToFile(file)) return "cannot save the previous file";
    TKiv kiv;
    Fill(kiv, 2);
    std::string fails = CheckFailedSave(kiv, dir.Path(), file, ImageOf(previous), {"reg.kiv"});
    fails += CheckFailedSave(kiv, dir.Path(), dir.File("new.kiv"), {}, {"reg.kiv"});
    // Once there is room again the same registration saves.
    ::unlink(file.c_str());
    if (!kiv.SaveToFile(file) || kiv.Modified || TTempDir::Read(file) != ImageOf(kiv))
      fails += "no save after making room; ";
    return fails;
  }));
}

TEST(Saving, WriteFailingPartWayKeepsPreviousFile) {
  // A file size limit makes the write fail part-way on any system, as a full disk does.
  TTempDir dir;
  CheckResult(InChild([&]() -> std::string {
    const std::string file = dir.File("reg.kiv");
    TKiv previous;
    Fill(previous, 1);
    if (!previous.SaveToFile(file)) return "cannot save the previous file";
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{8192, 8192};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return "cannot limit the file size";
    TKiv kiv;
    Fill(kiv, 2);
    return CheckFailedSave(kiv, dir.Path(), file, ImageOf(previous), {"reg.kiv"});
  }));
}

TEST(Saving, KilledAtAnyMomentLeavesPreviousOrNewFile) {
  TTempDir dir;
  const std::string file = dir.File("reg.kiv");
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> delayUs(0, 20000);
  constexpr int kTrials = 200;
  int killedMidSave = 0;
  int replaced = 0;
  Bytes a, b;
  for (int trial = 0; trial < kTrials; ++trial) {
    const Bytes before = Exists(file) ? TTempDir::Read(file) : Bytes{};
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      ::execl(KIV_SAVE_LOOP, KIV_SAVE_LOOP, file.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    char ready[6] = {};
    const ssize_t got = ::read(out[0], ready, sizeof ready);
    ::close(out[0]);
    if (got != 6 || std::memcmp(ready, "ready\n", 6) != 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
      FAIL() << "kiv_save_loop did not start";
    }
    ::usleep(static_cast<useconds_t>(delayUs(random)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "trial " << trial;

    if (trial == 0) {
      a = TTempDir::Read(file + ".a");
      b = TTempDir::Read(file + ".b");
      ASSERT_EQ(a.size(), kivimg::kSize);
      ASSERT_EQ(b.size(), kivimg::kSize);
      ASSERT_NE(a, b);
    }
    if (!Exists(file)) {
      EXPECT_TRUE(before.empty()) << "trial " << trial << ": the previous file is gone";
      continue;
    }
    const Bytes now = TTempDir::Read(file);
    EXPECT_TRUE(now == before || now == a || now == b)
        << "trial " << trial << ": neither the previous nor a complete new file";
    replaced += now != before;
    TKiv loaded;
    loaded.DefsDir = dir.Path();
    EXPECT_TRUE(loaded.LoadFromFile(file)) << "trial " << trial;
    // A save killed between creating its temporary file and the rename leaves that file.
    bool temporary = false;
    for (const std::string& name : Entries(dir.Path())) {
      if (name == "reg.kiv" || name == "reg.kiv.a" || name == "reg.kiv.b") continue;
      EXPECT_EQ(name.rfind("reg.kiv.", 0), 0u) << name;
      temporary = true;
      std::filesystem::remove(dir.File(name));
    }
    killedMidSave += temporary;
  }
  RecordProperty("killed_mid_save", killedMidSave);
  RecordProperty("replaced", replaced);
  std::printf("%d kills, %d inside a save, %d left a new file\n", kTrials, killedMidSave, replaced);
  // The kills did land inside saves, and saves did complete between them.
  EXPECT_GT(killedMidSave, 0);
  EXPECT_GT(replaced, 0);
}

}  // namespace
