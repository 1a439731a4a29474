// Helpers of the fault-injection suite: starting a launcher behind a start gate or as an
// unprivileged user, timing a run, and looking for files an injected command would leave.
#ifndef QUILLON_FAULTS_FAULT_HELPERS_H_
#define QUILLON_FAULTS_FAULT_HELPERS_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/fixture.h"

// How a launcher is started by StartLauncher.
struct LaunchPlan {
  std::string program;   // the installed launcher
  std::string argv0;     // its invocation path
  RunOptions options;    // environment, working folder, start gate and user, as for StartProgram
};

// Starts the launcher in its own process group, its output going to outFile and errFile;
// returns its process ID.
pid_t StartLauncher(const LaunchPlan& plan, const std::string& outFile, const std::string& errFile);

// A run with what it printed and how long it took.
struct TimedRun {
  RunResult result;
  double seconds = 0;
};

// Runs the launcher to its end (within limitSeconds) and times it.
TimedRun RunTimed(const LaunchPlan& plan, const std::string& scratchFolder, double limitSeconds);

// Returns a test bundle as options say whose file dialog chooses /Users/u/setup.exe and whose
// stand-in Wine server lives a second: long enough for retakes paced by what the stand-in pidof
// costs (some ms of processor time, so a few hundred ms apart) to see it, short enough for a
// quick run.
TestBundle MakeFaultBundle(const TestBundleOptions& options = TestBundleOptions());

// Returns a LaunchPlan for the launcher ("Valnor" or "Brackenfold") installed into the bundle,
// with the suite's run options and a wait bound of waitSeconds.
LaunchPlan PlanFor(const TestBundle& bundle, const std::string& program, double waitSeconds);

// Returns the paths below folder (and folder itself) whose last component is name.
std::vector<std::string> FindNamed(const std::string& folder, const std::string& name);

// Hands the fixture's folders to the unprivileged user so that it can run the bundle: the root
// opened to 0755, and everything below it owned by that user.
void HandBundleToNobody(const TestBundle& bundle);

// Writes control/pidof.sh: the stand-in pidof then runs script with $1 the process name.
void ScriptPidof(const TestBundle& bundle, const std::string& script);

// Returns a started "sleep 600" in its own process group, working in "/"; the caller ends it.
pid_t StartBystander();

// Returns true when pid still runs (and is no zombie).
bool IsAlive(pid_t pid);

// Kills pid's process group and reaps pid.
void EndBystander(pid_t pid);

#endif  // QUILLON_FAULTS_FAULT_HELPERS_H_
