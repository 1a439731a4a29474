// Small helpers for the tests that run the built launchers inside a fixture bundle.
#ifndef QUILLON_TESTS_LAUNCH_HELPERS_H_
#define QUILLON_TESTS_LAUNCH_HELPERS_H_

#include <sys/types.h>

#include <string>

#include "tests/fixture.h"

// The denial line a launcher prints for the instance file's first line.
std::string ValnorDenialLine(const std::string& firstLine);
std::string BrackenfoldDenialLine(const std::string& firstLine);

// Runs the launcher ("Valnor" or "Brackenfold"), installed into the bundle, as a user would.
RunResult RunLauncher(const TestBundle& bundle, const std::string& program,
                      RunOptions options);

// Runs it with LauncherRunOptions(bundle).
RunResult RunLauncher(const TestBundle& bundle, const std::string& program);

// Takes the exclusive lock on the bundle's instance file that a running launcher holds for its
// claim, creating the file when missing; returns the descriptor, which the caller closes.
int HoldInstanceLock(const TestBundle& bundle);

// Returns the number in file once it holds a whole line, or 0 after seconds.
pid_t WaitForNumberIn(const std::string& file, double seconds);

// Returns true when the instance file holds a process ID of a process that has ended.
bool HoldsEndedClaim(const TestBundle& bundle);

#endif  // QUILLON_TESTS_LAUNCH_HELPERS_H_
