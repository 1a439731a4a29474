#include "process/instance_guard.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "process/snapshots.h"

InstanceState IsInstanceFree(const std::string& instanceFile) {
  InstanceState state;
  state.firstLine = ReadFirstLine(instanceFile);
  if (state.firstLine == "Not Running" || state.firstLine.empty()) return state;
  int32_t pid = ParsePID(state.firstLine);
  // 0 and below would probe process groups (our own for 0), which would lock the wrapper for good.
  if (pid <= 0) return state;
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

InstanceState TestAndClaimInstance(const std::string& instanceFile) {
  int fd = open(instanceFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) fd = open(instanceFile.c_str(), O_RDONLY | O_CLOEXEC);
  // Without a descriptor there is no lock to take; the test and the claim still run.
  bool locked = false;
  if (fd >= 0) {
    int got;
    while ((got = flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
    }
    locked = got == 0;
  }
  InstanceState state = IsInstanceFree(instanceFile);
  if (state.free) WriteValnorPIDtoPidFile(instanceFile);
  if (locked) flock(fd, LOCK_UN);
  if (fd >= 0) close(fd);
  return state;
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
