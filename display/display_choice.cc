#include "display/display_choice.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

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

}  // namespace

bool IsDisplayTaken(int n, const std::string& root) {
  struct stat info;
  const std::string number = std::to_string(n);
  if (lstat((root + "/.X11-unix/X" + number).c_str(), &info) == 0) return true;
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
