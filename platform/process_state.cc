#include "platform/process_state.h"

#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <vector>

#if defined(__APPLE__)
#include <libproc.h>
#include <sys/sysctl.h>
#endif

#if defined(__APPLE__)

bool IsZombieProcess(pid_t pid) {
  int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PID, pid};
  struct kinfo_proc info;
  size_t size = sizeof(info);
  if (sysctl(mib, 4, &info, &size, nullptr, 0) != 0 || size == 0) return false;
  return info.kp_proc.p_stat == SZOMB;
}

std::string ProcessWorkingFolder(pid_t pid) {
  struct proc_vnodepathinfo info;
  int got = proc_pidinfo(pid, PROC_PIDVNODEPATHINFO, 0, &info, sizeof(info));
  if (got != static_cast<int>(sizeof(info))) return "";
  return info.pvi_cdir.vip_path;
}

std::string ProcessEnvironmentValue(pid_t, const std::string&, bool* known) {
  // Another process's environment is not offered by a public call on macOS.
  *known = false;
  return "";
}

#else

bool IsZombieProcess(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The state letter follows the command name, which is in parentheses and may hold blanks.
  std::string::size_type close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return false;
  return stat[close + 2] == 'Z';
}

std::string ProcessWorkingFolder(pid_t pid) {
  std::vector<char> buffer(PATH_MAX + 1);
  std::string link = "/proc/" + std::to_string(pid) + "/cwd";
  ssize_t got = readlink(link.c_str(), buffer.data(), buffer.size() - 1);
  if (got <= 0) return "";
  return std::string(buffer.data(), static_cast<size_t>(got));
}

std::string ProcessEnvironmentValue(pid_t pid, const std::string& name, bool* known) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  *known = static_cast<bool>(in);
  std::string entry;
  const std::string prefix = name + "=";
  while (in && std::getline(in, entry, '\0')) {
    if (entry.compare(0, prefix.size(), prefix) == 0) return entry.substr(prefix.size());
  }
  return "";
}

#endif

std::string CurrentWorkingFolder() {
  std::vector<char> buffer(PATH_MAX + 1);
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return "";
  return buffer.data();
}

std::string ResolvedPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return "";
  std::string result = resolved;
  free(resolved);
  return result;
}

namespace {

// Returns true when path is folder itself or lies below it, on a "/" boundary.
bool LiesInside(const std::string& path, const std::string& folder) {
  if (path.compare(0, folder.size(), folder) != 0) return false;
  return path.size() == folder.size() || folder == "/" || path[folder.size()] == '/';
}

// Returns path resolved when it exists, otherwise as given.
std::string ResolvedOrAsGiven(const std::string& path) {
  std::string resolved = ResolvedPath(path);
  return resolved.empty() ? path : resolved;
}

}  // namespace

bool ProcessMayBelongToBundle(pid_t pid, const std::string& contents) {
  std::string folder = ResolvedPath(contents);
  if (folder.empty()) return true;
  std::string cwd = ProcessWorkingFolder(pid);
  if (cwd.empty()) {
    // A live process whose working folder is hidden, where ours can be learnt, runs for another
    // user or is protected (such as process 1): never a server that this bundle started.
    const bool exists = kill(pid, 0) == 0 || errno == EPERM;
    return !(exists && !ProcessWorkingFolder(getpid()).empty());
  }
  if (LiesInside(ResolvedOrAsGiven(cwd), folder)) return true;
  bool known = false;
  std::string prefix = ProcessEnvironmentValue(pid, "WINEPREFIX", &known);
  if (!known) return true;
  if (prefix.empty()) return false;
  // A relative prefix is taken from the process's own working folder.
  if (prefix[0] != '/') prefix = cwd + "/" + prefix;
  return LiesInside(ResolvedOrAsGiven(prefix), folder);
}
