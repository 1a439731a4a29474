#include "platform/quit_signals.h"

#include <signal.h>
#include <sys/select.h>

#include <cerrno>
#include <cmath>

namespace {

// The one piece of mutable global state: what the signal handler noted.
volatile sig_atomic_t caughtSignal = 0;

const int kQuitSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT};

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
  // No SA_RESTART: a waitpid or a pause in progress returns with EINTR.
  action.sa_flags = 0;
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
