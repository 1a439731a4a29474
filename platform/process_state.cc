#include "platform/process_state.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>
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

std::string ProcessEnvironmentValue(pid_t pid, const std::string& name, bool* known) {
  *known = false;
  // KERN_PROCARGS2 gives a process of the same user as: argc, the executable path, NUL padding,
  // argc arguments, then the environment entries, each ending in a NUL byte.
  int argmaxMib[2] = {CTL_KERN, KERN_ARGMAX};
  int argmax = 0;
  size_t size = sizeof(argmax);
  if (sysctl(argmaxMib, 2, &argmax, &size, nullptr, 0) != 0 || argmax <= 0) return "";
  std::vector<char> buffer(static_cast<size_t>(argmax));
  int mib[3] = {CTL_KERN, KERN_PROCARGS2, pid};
  size = buffer.size();
  if (sysctl(mib, 3, buffer.data(), &size, nullptr, 0) != 0) return "";
  if (size < sizeof(int)) return "";
  int argc = 0;
  std::memcpy(&argc, buffer.data(), sizeof(argc));
  size_t at = sizeof(argc);
  // Past the executable path and the padding after it.
  while (at < size && buffer[at] != '\0') ++at;
  while (at < size && buffer[at] == '\0') ++at;
  // Past the arguments.
  for (int i = 0; i < argc && at < size; ++i) {
    while (at < size && buffer[at] != '\0') ++at;
    ++at;
  }
  *known = true;
  const std::string prefix = name + "=";
  while (at < size && buffer[at] != '\0') {
    size_t end = at;
    while (end < size && buffer[end] != '\0') ++end;
    std::string entry(buffer.data() + at, end - at);
    if (entry.compare(0, prefix.size(), prefix) == 0) return entry.substr(prefix.size());
    at = end + 1;
  }
  return "";
}

bool ProcessGroupHasLiveMember(pid_t group) {
  int mib[4] = {CTL_KERN, KERN_PROC, KERN_PROC_PGRP, group};
  size_t size = 0;
  if (sysctl(mib, 4, nullptr, &size, nullptr, 0) != 0 || size == 0) return false;
  // Room for a few processes that start between the two calls.
  size += 8 * sizeof(struct kinfo_proc);
  std::vector<struct kinfo_proc> procs(size / sizeof(struct kinfo_proc));
  size = procs.size() * sizeof(struct kinfo_proc);
  if (sysctl(mib, 4, procs.data(), &size, nullptr, 0) != 0) return false;
  for (size_t i = 0; i < size / sizeof(struct kinfo_proc); ++i) {
    if (procs[i].kp_proc.p_stat != SZOMB) return true;
  }
  return false;
}

#else

// Returns what a /proc file holds (as far as it could be read), or nothing when it cannot be
// opened. A process that ends between the open and the read makes the read fail (ESRCH), where
// a stream would throw.
std::optional<std::string> ReadProcFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[4096];
  while (true) {
    ssize_t got = read(fd, buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    content.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return content;
}

bool IsZombieProcess(pid_t pid) {
  const std::string stat = ReadProcFile("/proc/" + std::to_string(pid) + "/stat").value_or("");
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
  const std::string path = "/proc/" + std::to_string(pid) + "/environ";
  const std::optional<std::string> read = ReadProcFile(path);
  *known = read.has_value();
  const std::string environment = read.value_or("");
  const std::string prefix = name + "=";
  std::string::size_type start = 0;
  while (start < environment.size()) {
    std::string::size_type end = environment.find('\0', start);
    if (end == std::string::npos) end = environment.size();
    if (environment.compare(start, prefix.size(), prefix) == 0) {
      return environment.substr(start + prefix.size(), end - start - prefix.size());
    }
    start = end + 1;
  }
  return "";
}

bool ProcessGroupHasLiveMember(pid_t group) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    const std::string stat =
        ReadProcFile(std::string("/proc/") + entry->d_name + "/stat").value_or("");
    // After the parenthesised command name: state, parent ID, process group ID.
    std::string::size_type close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    long parent = 0, processGroup = 0;
    if (!(fields >> state >> parent >> processGroup)) continue;
    if (processGroup == group && state != "Z") {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

#endif

bool IsProcessRunning(pid_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  return !IsZombieProcess(pid);
}

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

bool ProcessWorksInBundle(pid_t pid, const std::string& contents) {
  std::string folder = ResolvedPath(contents);
  if (folder.empty() || pid <= 0) return false;
  std::string cwd = ProcessWorkingFolder(pid);
  if (!cwd.empty() && LiesInside(ResolvedOrAsGiven(cwd), folder)) return true;
  bool known = false;
  std::string prefix = ProcessEnvironmentValue(pid, "WINEPREFIX", &known);
  if (!known || prefix.empty()) return false;
  if (prefix[0] != '/') {
    if (cwd.empty()) return false;
    prefix = cwd + "/" + prefix;
  }
  return LiesInside(ResolvedOrAsGiven(prefix), folder);
}
