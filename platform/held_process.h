// A process held by its ID and, on Linux, by a pidfd: a signal sent through the pidfd reaches
// that very process or nothing, even after its ID has been given to another process.
#ifndef QUILLON_PLATFORM_HELD_PROCESS_H_
#define QUILLON_PLATFORM_HELD_PROCESS_H_

#include <sys/types.h>

// A process ID and the descriptor that holds it (-1 where the system offers none).
struct HeldProcess {
  pid_t pid = 0;
  int fd = -1;
};

// Returns pid held from now on: with a close-on-exec pidfd on Linux when the kernel offers one,
// by its ID alone elsewhere; an ID of 0 or below, or one with no process, gives pid 0.
HeldProcess HoldProcess(pid_t pid);

// Closes the descriptor that held the process; the process itself is not touched.
void LetGoOfProcess(HeldProcess* process);

// What a signal to a held process came to.
enum class SignalResult { kSent, kGone, kNotPermitted };

// Sends signal (0 only probes) to the held process: through its pidfd when there is one, so an
// ended process is never confused with a new one of the same ID. kGone when it has ended (or pid
// is 0), kNotPermitted when it runs for someone we may not signal.
SignalResult SignalHeldProcess(const HeldProcess& process, int signal);

// Returns true when the held process has ended: it is gone, or only a zombie is left.
bool HasHeldProcessEnded(const HeldProcess& process);

#endif  // QUILLON_PLATFORM_HELD_PROCESS_H_
