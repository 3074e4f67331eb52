#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "kivfiles.h"

namespace {

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool HoldsDefinitionFile(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n.size() > 4) {
      std::string ext = n.substr(n.size() - 4);
      for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
      if (ext == ".set" && FileExists(JoinPath(dir, n))) {
        found = true;
        break;
      }
    }
  }
  ::closedir(d);
  return found;
}

}  // namespace

std::string ExecutableDir() {
  std::string path(4096, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return ".";
  path.resize(static_cast<size_t>(n));
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string InstallDir() {
  if (const char* env = std::getenv("KIVSVC_INSTALLDIR"); env && *env) return env;
  std::string exeDir = ExecutableDir();
  if (HoldsDefinitionFile(exeDir)) return exeDir;
  std::string share = JoinPath(exeDir, "../share/kivsvc");
  if (DirectoryExists(share)) return share;
  return exeDir;
}
