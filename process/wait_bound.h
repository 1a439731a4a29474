// How long a launcher waits for a started server to show up.
#ifndef QUILLON_PROCESS_WAIT_BOUND_H_
#define QUILLON_PROCESS_WAIT_BOUND_H_

// The environment variable that sets the bound, in seconds.
inline constexpr char kWaitBoundVariable[] = "QUILLON_WAIT_SECONDS";

// Returns the bound from QUILLON_WAIT_SECONDS when it holds a positive number, otherwise 30.
double WaitBoundSeconds();

#endif  // QUILLON_PROCESS_WAIT_BOUND_H_
