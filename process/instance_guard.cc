#include "process/instance_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "process/snapshots.h"
#include "process/wait_bound.h"

InstanceState IsInstanceFree(const std::string& instanceFile) {
  InstanceState state;
  state.firstLine = ReadFirstLine(instanceFile);
  if (state.firstLine == "Not Running" || state.firstLine.empty()) return state;
  int32_t pid = ParsePID(state.firstLine);
  // 0 and below would probe process groups (our own for 0), which would lock the wrapper for good;
  // our own ID can only be a claim left by an earlier process that had it.
  if (pid <= 0 || pid == static_cast<int32_t>(getpid())) return state;
  state.free = kill(static_cast<pid_t>(pid), 0) != 0;
  return state;
}

void WriteValnorPIDtoPidFile(const std::string& instanceFile) {
  char pid[32];
  std::snprintf(pid, sizeof(pid), "%d", static_cast<int>(getpid()));
  RunShellCommand("echo " + QuoteForShell(pid) + " > " + QuoteForShell(instanceFile));
}

void MarkInstanceNotRunning(const std::string& instanceFile) {
  RunShellCommand("echo " + QuoteForShell("Not Running") + " > " + QuoteForShell(instanceFile));
}

namespace {

// Returns true when something other than a regular file lies at path (links followed).
bool IsNonRegularEntry(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Returns a descriptor of the instance file to lock, opened without blocking and closed on exec,
// creating the file empty when missing; -1 when it cannot be opened.
int OpenInstanceFile(const std::string& path) {
  const int flags = O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | flags, 0644);
  // A file we may only read can still be locked.
  if (fd < 0) fd = open(path.c_str(), O_RDONLY | flags);
  return fd;
}

// Returns true when pid names a live process other than the caller.
bool IsOtherLiveProcess(int32_t pid) {
  if (pid <= 0 || pid == static_cast<int32_t>(getpid())) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// Returns the file's first line as read through fd.
std::string ReadFirstLineOf(int fd) {
  return FirstLineOf(ReadOpenFile(fd, kReadLimit, true).value_or(""));
}

// Tests and claims by the file's content alone, as where no lock can be had.
InstanceState TestAndClaimWithoutLock(const std::string& instanceFile) {
  InstanceState state = IsInstanceFree(instanceFile);
  if (state.free) WriteValnorPIDtoPidFile(instanceFile);
  return state;
}

}  // namespace

InstanceState TestAndClaimInstance(const std::string& instanceFile) {
  InstanceState state;
  if (IsNonRegularEntry(instanceFile)) {
    state.free = false;
    state.guardable = false;
    return state;
  }
  const int fd = OpenInstanceFile(instanceFile);
  if (fd < 0) return TestAndClaimWithoutLock(instanceFile);
  if (!IsRegularFile(fd)) {
    close(fd);
    state.free = false;
    state.guardable = false;
    return state;
  }
  using Clock = std::chrono::steady_clock;
  // A holder writes its ID right after locking and "Not Running" right before unlocking; a few
  // seconds are plenty for either, and no stopped holder can keep a start waiting for longer.
  const Clock::time_point giveUp = DeadlineAfter(ShortWaitSeconds());
  while (true) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      // Nobody holds the wrapper, whatever the file says: claim it.
      state.firstLine = ReadFirstLineOf(fd);
      state.lockFd = fd;
      WriteValnorPIDtoPidFile(instanceFile);
      return state;
    }
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      // No locks on this file system: the content decides, as it always did.
      close(fd);
      return TestAndClaimWithoutLock(instanceFile);
    }
    state.firstLine = ReadFirstLineOf(fd);
    if (IsOtherLiveProcess(ParsePID(state.firstLine)) || Clock::now() >= giveUp) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  close(fd);
  state.free = false;
  return state;
}

std::optional<bool> IsClaimHeld(const std::string& instanceFile) {
  const int fd = open(instanceFile.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<bool> held;
  if (IsRegularFile(fd)) {
    int got;
    while ((got = flock(fd, LOCK_SH | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (got == 0) {
      held = false;
    } else if (errno == EWOULDBLOCK) {
      held = true;
    }
  }
  // Closing drops the probe's own lock.
  close(fd);
  return held;
}

void ReleaseInstance(const std::string& instanceFile, InstanceState* claim) {
  MarkInstanceNotRunning(instanceFile);
  DropClaim(claim);
}

void DropClaim(InstanceState* claim) {
  if (claim->lockFd >= 0) close(claim->lockFd);
  claim->lockFd = -1;
}

std::string ComposeDenialCommand(Launcher launcher, const std::string& firstLine) {
  const std::string line = EscapeForDoubleQuotes(firstLine);
  if (launcher == Launcher::kValnor) {
    return "echo \"Someone attempted to run Valnor while it was already running on PID number " +
           line + " in the same wrapper! RUN DENIED!!\"";
  }
  return "echo \"Someone attempted to run Brackenfold while something was already running on PID number " +
         line + " in the same wrapper! RUN DENIED!!\"";
}

void PrintDenial(Launcher launcher, const std::string& firstLine) {
  // Our own buffered output goes first, so the lines keep their order.
  std::fflush(stdout);
  RunShellCommand(ComposeDenialCommand(launcher, firstLine));
}

std::string UnguardableMessage(Launcher launcher, const std::string& instanceFile) {
  const std::string name = launcher == Launcher::kValnor ? "Valnor" : "Brackenfold";
  return name + ": cannot guard its wrapper bundle, because " + instanceFile + " is not a regular file; remove it, then start again. Nothing was started.";
}

void ReportRefusedStart(Launcher launcher, const std::string& instanceFile,
                        const InstanceState& state) {
  if (!state.guardable) {
    std::fprintf(stderr, "%s\n", UnguardableMessage(launcher, instanceFile).c_str());
    return;
  }
  PrintDenial(launcher, state.firstLine);
}
