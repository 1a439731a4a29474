#include "display/display_choice.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include "bundle/text_file.h"
#include "platform/process_state.h"

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
  const pid_t owner = static_cast<pid_t>(pid);
  if (kill(owner, 0) != 0 && errno != EPERM) return false;
  return !IsZombieProcess(owner);
}

// Returns true when pid names a process that still runs.
bool ProcessLives(long pid) {
  if (pid <= 0 || pid > INT32_MAX) return false;
  const pid_t process = static_cast<pid_t>(pid);
  if (kill(process, 0) != 0 && errno != EPERM) return false;
  return !IsZombieProcess(process);
}

// Takes the exclusive lock on fd, waiting at most a few seconds; returns whether it got it.
bool LockWithin(int fd) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > give_up) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Returns the claims file's "«display number» «process ID»" lines whose process still runs.
std::string ReadLiveClaims(int fd, std::set<int>* claimed) {
  std::string text;
  char buffer[4096];
  ssize_t got;
  while (text.size() < (1u << 20) && (got = read(fd, buffer, sizeof(buffer))) > 0) {
    text.append(buffer, static_cast<size_t>(got));
  }
  std::istringstream lines(text);
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

}  // namespace

namespace {

// Returns true when a server listens on the socket at path; a socket that a killed server left
// behind refuses the connection and counts as free.
bool SocketIsServed(const std::string& path) {
  struct sockaddr_un address = {};
  if (path.size() >= sizeof(address.sun_path)) return true;
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, path.size());
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return true;
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  bool served = connect(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof(address)) == 0 ||
                (errno != ECONNREFUSED && errno != ENOENT);
  close(fd);
  return served;
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
  return LockOwnerLives(root + "/.X" + number + "-lock");
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

std::string ClaimFreeDisplay(const std::string& display, const std::string& root) {
  int n = DisplayNumber(display);
  if (n < 0) return display;
  const std::string path = root + "/.quillon-displays";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return ChooseFreeDisplay(display, root);
  // Launchers of every user claim displays in the same file.
  fchmod(fd, 0666);
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

std::string ClaimFreeDisplay(const std::string& display) { return ClaimFreeDisplay(display, "/tmp"); }
