// The signals that ask a launcher to quit (SIGTERM, SIGHUP, SIGINT, SIGQUIT): their handlers
// only note the signal; the run's steps look at that note and end the run themselves.
#ifndef QUILLON_PLATFORM_QUIT_SIGNALS_H_
#define QUILLON_PLATFORM_QUIT_SIGNALS_H_

#include <sys/types.h>

// How long what a run started gets to end after SIGTERM before SIGKILL follows, in seconds.
inline constexpr double kQuitGraceSeconds = 2;

// Catches the four quit signals from now on, each only noting its number (a SIGHUP that was
// ignored at the start, as nohup leaves it, stays ignored). PauseUnlessQuit and
// WaitForChildUnlessQuit return as soon as one comes in.
void WatchQuitSignals();

// Returns the number of the first quit signal caught since WatchQuitSignals, or 0.
int QuitSignal();

// Returns false at once when a quit signal has been caught; otherwise pauses for seconds and
// returns true, or returns false as soon as a quit signal comes in.
bool PauseUnlessQuit(double seconds);

// Waits for the child to end and returns true with its wait status in *status (-1 when it
// cannot be waited for); returns false, leaving it unreaped, as soon as a quit signal has come
// in, also when one came in just before the call.
bool WaitForChildUnlessQuit(pid_t child, int* status);

#endif  // QUILLON_PLATFORM_QUIT_SIGNALS_H_
