// A minimal wrapper bundle for the benchmark, with the fast compiled stand-ins of standin.cc.
#ifndef QUILLON_BENCH_BENCH_BUNDLE_H_
#define QUILLON_BENCH_BENCH_BUNDLE_H_

#include <optional>
#include <string>

// A bundle inside a fresh temporary folder; root also holds control/, record/ and running/.
struct BenchBundle {
  std::string root;
  std::string contents;
  std::string macos;
  std::string valnor;        // the launcher's invocation path inside the bundle
  std::string instanceFile;  // contents + "/.AlreadyRunningPID"
};

// Returns a new bundle whose Info.plist selects quick mode ("true") or background mode ("false").
BenchBundle MakeBenchBundle(const std::string& quickX11KillShutdown);

// Kills the stand-in servers the bundle still has and removes its folder.
void RemoveBenchBundle(const BenchBundle& bundle);

// Writes control/«name» with value; an empty value removes it.
void SetControl(const BenchBundle& bundle, const std::string& name, const std::string& value);

// Empties record/ and forgets the servers of the last run, killing those still alive.
void ResetRun(const BenchBundle& bundle);

// Returns the monotonic time in seconds that a stand-in stamped into record/«name».
std::optional<double> ReadStamp(const BenchBundle& bundle, const std::string& name);

// Returns how many times a stand-in counted a call into record/«name».calls.
int CountCalls(const BenchBundle& bundle, const std::string& name);

// Returns the ID of the last X11 server stand-in that came up, or 0.
int LastX11ServerPID(const BenchBundle& bundle);

// Returns the monotonic clock in seconds, the clock the stand-ins stamp with.
double MonotonicSeconds();

#endif  // QUILLON_BENCH_BENCH_BUNDLE_H_
