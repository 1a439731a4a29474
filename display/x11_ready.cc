#include "display/x11_ready.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>

#include "platform/quit_signals.h"
#include "process/pacing.h"
#include "process/wait_bound.h"

std::string X11SocketPath(const std::string& display) {
  if (display.size() < 2 || display[0] != ':') return "";
  if (display.find_first_not_of("0123456789", 1) != std::string::npos) return "";
  return "/tmp/.X11-unix/X" + display.substr(1);
}

int ConnectErrorOf(const std::string& path) {
  struct sockaddr_un address = {};
  if (path.empty()) return ENOENT;
  if (path.size() >= sizeof(address.sun_path)) return ENAMETOOLONG;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return errno;
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  int result;
  do {
    result = connect(fd, reinterpret_cast<const struct sockaddr*>(&address), sizeof(address));
  } while (result != 0 && errno == EINTR && QuitSignal() == 0);
  const int error = result == 0 ? 0 : errno;
  close(fd);
  return error;
}

bool DoesSocketAnswer(const std::string& path) { return ConnectErrorOf(path) == 0; }

bool WaitForDisplayToAnswer(const std::string& display, const HeldProcess& server) {
  using Clock = std::chrono::steady_clock;
  using Seconds = std::chrono::duration<double>;
  const std::string path = X11SocketPath(display);
  if (path.empty() || server.pid <= 0) return false;
  const Clock::time_point end = DeadlineAfter(WaitBoundSeconds());
  double growingPause = kFirstPauseSeconds;
  while (true) {
    const Clock::time_point probeStart = Clock::now();
    const double costBefore = ProcessorSecondsUsed();
    if (DoesSocketAnswer(path)) return true;
    // A server that has ended will never answer; a probe after that could meet another one.
    if (HasHeldProcessEnded(server)) return false;
    const Clock::time_point now = Clock::now();
    if (now >= end || QuitSignal() != 0) return false;
    const double cost = ProcessorSecondsUsed() - costBefore;
    const double pause = std::min(
        PauseBeforeRetake(growingPause, Seconds(now - probeStart).count(), cost),
        Seconds(end - now).count());
    if (!PauseUnlessQuit(pause)) return false;
    growingPause = GrowPause(growingPause);
  }
}
