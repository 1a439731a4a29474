#include "display/display_choice.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include "bundle/text_file.h"
#include "display/x11_ready.h"
#include "platform/process_state.h"
#include "process/wait_bound.h"

namespace {

constexpr int kLowestDisplay = 5;
constexpr int kHighestDisplay = 7160;
constexpr int kMaxTries = 300;

// Returns the number of a ":«digits»" display text, or -1 for any other text.
int DisplayNumber(const std::string& display) {
  if (display.size() < 2 || display.size() > 6 || display[0] != ':') return -1;
  int n = 0;
  for (std::string::size_type i = 1; i < display.size(); ++i) {
    if (display[i] < '0' || display[i] > '9') return -1;
    n = n * 10 + (display[i] - '0');
  }
  return n;
}

// Returns true when the lock file holds the ID of a process that still runs.
bool LockOwnerLives(const std::string& lockFile) {
  // The X server writes its ID padded with blanks; strtol skips them.
  const std::string text = ReadFirstLine(lockFile);
  char* end = nullptr;
  long pid = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || pid <= 0 || pid > INT32_MAX) return false;
  // As the X server's own check does: an owner that has ended but is not yet reaped still
  // holds the display, and a server started on it would refuse it.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Returns true when pid names a process that still runs.
bool ProcessLives(long pid) {
  if (pid <= 0 || pid > INT32_MAX) return false;
  return IsProcessRunning(static_cast<pid_t>(pid));
}

// Takes the exclusive lock on fd, waiting a few seconds at most; returns whether it got it.
bool LockWithin(int fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point giveUp = DeadlineAfter(ShortWaitSeconds());
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || Clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Returns the claims file's "«display number» «process ID»" lines whose process still runs.
std::string ReadLiveClaims(int fd, std::set<int>* claimed) {
  std::istringstream lines(ReadOpenFile(fd, kReadLimit, false).value_or(""));
  std::string live;
  int n = 0;
  long pid = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    if (fields >> n >> pid && ProcessLives(pid)) {
      claimed->insert(n);
      live += std::to_string(n) + " " + std::to_string(pid) + "\n";
    }
  }
  return live;
}

// Returns a descriptor of the claims file that this launcher may rewrite: one it creates now, or
// a regular file with one link that its user owns; -1 for anything else, which is left untouched.
int OpenClaimsFile(const std::string& path) {
  // No link is followed and nothing blocks, whatever another user put at path.
  const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0600);
  if (fd >= 0) return fd;
  if (errno != EEXIST) return -1;
  fd = open(path.c_str(), flags);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1 ||
      info.st_uid != geteuid()) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

namespace {

// Returns true when a server listens on the socket at path; a socket that a killed server left
// behind refuses the connection and counts as free.
bool SocketIsServed(const std::string& path) {
  // Anything but a plain refusal or a missing socket is taken as served, to be safe.
  const int error = ConnectErrorOf(path);
  return error != ECONNREFUSED && error != ENOENT;
}

}  // namespace

bool IsDisplayTaken(int n, const std::string& root) {
  struct stat info;
  const std::string number = std::to_string(n);
  const std::string socketPath = root + "/.X11-unix/X" + number;
  // Anything in the socket's place but a socket is taken as held, to be safe.
  if (lstat(socketPath.c_str(), &info) == 0 && (!S_ISSOCK(info.st_mode) || SocketIsServed(socketPath))) {
    return true;
  }
  // A lock file that is no regular file cannot be read, and no server could take its place.
  const std::string lockFile = root + "/.X" + number + "-lock";
  if (lstat(lockFile.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return true;
  return LockOwnerLives(lockFile);
}

std::string ChooseFreeDisplay(const std::string& display, const std::string& root) {
  int n = DisplayNumber(display);
  if (n < 0) return display;
  for (int tries = 0; tries < kMaxTries; ++tries) {
    if (!IsDisplayTaken(n, root)) return tries == 0 ? display : ":" + std::to_string(n);
    n = n >= kHighestDisplay ? kLowestDisplay : n + 1;
  }
  return display;
}

std::string ChooseFreeDisplay(const std::string& display) { return ChooseFreeDisplay(display, "/tmp"); }

std::string DisplayClaimsFile() {
  // Per user: launchers of other users never share it, and rely on the X server's own socket
  // and lock checks, which are made as well.
  for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') continue;
    std::string folder = value;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return (folder == "/" ? "" : folder) + "/.quillon-displays";
  }
  return "/tmp/.quillon-displays-" + std::to_string(geteuid());
}

std::string ClaimFreeDisplay(const std::string& display, const std::string& root,
                             const std::string& claimsFile) {
  int n = DisplayNumber(display);
  if (n < 0) return display;
  const int fd = OpenClaimsFile(claimsFile);
  if (fd < 0) return ChooseFreeDisplay(display, root);
  if (!LockWithin(fd)) {
    close(fd);
    return ChooseFreeDisplay(display, root);
  }
  std::set<int> claimed;
  std::string claims = ReadLiveClaims(fd, &claimed);
  std::string chosen = display;
  for (int tries = 0; tries < kMaxTries; ++tries) {
    if (claimed.count(n) == 0 && !IsDisplayTaken(n, root)) {
      if (tries > 0) chosen = ":" + std::to_string(n);
      claims += std::to_string(n) + " " + std::to_string(getpid()) + "\n";
      break;
    }
    n = n >= kHighestDisplay ? kLowestDisplay : n + 1;
  }
  if (ftruncate(fd, 0) == 0) {
    ssize_t written = pwrite(fd, claims.data(), claims.size(), 0);
    (void)written;
  }
  flock(fd, LOCK_UN);
  close(fd);
  return chosen;
}

std::string ClaimFreeDisplay(const std::string& display) {
  return ClaimFreeDisplay(display, "/tmp", DisplayClaimsFile());
}
