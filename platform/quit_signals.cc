#include "platform/quit_signals.h"

#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>

#include <cerrno>
#include <cmath>

namespace {

// The one piece of mutable global state: what the signal handler noted.
volatile sig_atomic_t caughtSignal = 0;

const int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

// Does nothing: its being caught only wakes sigsuspend when a child ends.
void WakeOnChild(int) {}

void NoteQuitSignal(int number) {
  if (caughtSignal == 0) caughtSignal = number;
}

// Returns a set of the four quit signals.
sigset_t QuitSignalSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int number : kQuitSignals) sigaddset(&set, number);
  return set;
}

}  // namespace

void WatchQuitSignals() {
  struct sigaction action = {};
  action.sa_handler = NoteQuitSignal;
  // Reads and writes in progress go on; the waits here (sigsuspend, pselect) end on the signal
  // whatever this flag says.
  action.sa_flags = SA_RESTART;
  action.sa_mask = QuitSignalSet();
  for (int number : kQuitSignals) {
    struct sigaction old = {};
    if (number == SIGHUP && sigaction(SIGHUP, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) {
      continue;
    }
    sigaction(number, &action, nullptr);
  }
  // A launcher started with these signals blocked would never see them.
  sigset_t set = QuitSignalSet();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

int QuitSignal() { return caughtSignal; }

bool PauseUnlessQuit(double seconds) {
  // The signals stay blocked between the look at the note and the pause, and pselect unblocks
  // them atomically, so a signal that comes in between still ends the pause.
  sigset_t quitSet = QuitSignalSet();
  sigset_t old;
  sigprocmask(SIG_BLOCK, &quitSet, &old);
  sigset_t during = old;
  for (int number : kQuitSignals) sigdelset(&during, number);
  if (caughtSignal == 0 && seconds > 0) {
    double whole = std::floor(seconds);
    struct timespec pause;
    pause.tv_sec = static_cast<time_t>(whole);
    pause.tv_nsec = static_cast<long>((seconds - whole) * 1e9);
    pselect(0, nullptr, nullptr, nullptr, &pause, &during);
  }
  const bool caught = caughtSignal != 0;
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return !caught;
}

bool WaitForChildUnlessQuit(pid_t child, int* status) {
  // SIGCHLD and the quit signals stay blocked while the child and the note are looked at, and
  // sigsuspend unblocks them atomically, so neither an end nor a quit can slip in between.
  sigset_t blocked = QuitSignalSet();
  sigaddset(&blocked, SIGCHLD);
  sigset_t old;
  sigprocmask(SIG_BLOCK, &blocked, &old);
  struct sigaction wake = {};
  wake.sa_handler = WakeOnChild;
  wake.sa_flags = SA_NOCLDSTOP | SA_RESTART;
  sigemptyset(&wake.sa_mask);
  struct sigaction oldChild = {};
  sigaction(SIGCHLD, &wake, &oldChild);
  sigset_t during = old;
  sigdelset(&during, SIGCHLD);
  for (int number : kQuitSignals) sigdelset(&during, number);
  bool ended = false;
  while (true) {
    const pid_t got = waitpid(child, status, WNOHANG);
    if (got == child) {
      ended = true;
      break;
    }
    if (got < 0 && errno != EINTR) {
      *status = -1;
      ended = true;
      break;
    }
    if (caughtSignal != 0) break;
    sigsuspend(&during);
  }
  sigaction(SIGCHLD, &oldChild, nullptr);
  sigprocmask(SIG_SETMASK, &old, nullptr);
  return ended;
}
