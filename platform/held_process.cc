#include "platform/held_process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include "platform/process_state.h"

#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace {

// Returns a pidfd for pid, or -1 where the kernel offers none (the ID alone is used then).
int OpenProcessDescriptor(pid_t pid) {
#if defined(__linux__) && defined(SYS_pidfd_open)
  // The descriptor comes close-on-exec, so no started command inherits it.
  long fd = syscall(SYS_pidfd_open, pid, 0);
  return fd < 0 ? -1 : static_cast<int>(fd);
#else
  (void)pid;
  return -1;
#endif
}

// Sends signal through the pidfd; returns 0 or -1 with errno as kill() would.
int SignalThroughDescriptor(int fd, int signal) {
#if defined(__linux__) && defined(SYS_pidfd_send_signal)
  return static_cast<int>(syscall(SYS_pidfd_send_signal, fd, signal, nullptr, 0));
#else
  (void)fd;
  (void)signal;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

HeldProcess HoldProcess(pid_t pid) {
  HeldProcess held;
  if (pid <= 0) return held;
  held.fd = OpenProcessDescriptor(pid);
  // Without a descriptor, a process that has already gone is not held at all.
  if (held.fd < 0 && kill(pid, 0) != 0 && errno == ESRCH) return held;
  held.pid = pid;
  return held;
}

void LetGoOfProcess(HeldProcess* process) {
  if (process->fd >= 0) close(process->fd);
  process->fd = -1;
  process->pid = 0;
}

SignalResult SignalHeldProcess(const HeldProcess& process, int signal) {
  // 0 and below would reach whole process groups.
  if (process.pid <= 0) return SignalResult::kGone;
  const int result = process.fd >= 0 ? SignalThroughDescriptor(process.fd, signal)
                                     : kill(process.pid, signal);
  if (result == 0) return SignalResult::kSent;
  if (errno == EPERM) return SignalResult::kNotPermitted;
  // ESRCH: the process has ended (through a pidfd, also when its ID lives on in another one).
  return SignalResult::kGone;
}

bool HasHeldProcessEnded(const HeldProcess& process) {
  if (SignalHeldProcess(process, 0) == SignalResult::kGone) return true;
  return IsZombieProcess(process.pid);
}
