// How long a launcher waits for a started server to show up.
#ifndef QUILLON_PROCESS_WAIT_BOUND_H_
#define QUILLON_PROCESS_WAIT_BOUND_H_

#include <chrono>

// The environment variable that sets the bound, in seconds.
inline constexpr char kWaitBoundVariable[] = "QUILLON_WAIT_SECONDS";

// Returns the bound from QUILLON_WAIT_SECONDS when it holds a positive number, otherwise 30.
double WaitBoundSeconds();

// Returns the bound for waits on another launcher's brief steps (a lock, the holder's ID): the
// smaller of 3 s and WaitBoundSeconds().
double ShortWaitSeconds();

// Returns the steady-clock time that lies seconds from now.
std::chrono::steady_clock::time_point DeadlineAfter(double seconds);

#endif  // QUILLON_PROCESS_WAIT_BOUND_H_
