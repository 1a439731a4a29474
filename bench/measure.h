// Timing a program run from the outside: wall time, and the CPU time of it and its children.
#ifndef QUILLON_BENCH_MEASURE_H_
#define QUILLON_BENCH_MEASURE_H_

#include <map>
#include <string>
#include <vector>

// What one run of a program cost.
struct RunCost {
  double wallSeconds = 0;
  double cpuSeconds = 0;  // user + system of the program and every child it waited for
  int exitStatus = -1;    // -1 when it did not exit normally
};

// A program started by StartMeasured and not yet waited for.
struct StartedRun {
  int pid = -1;
  double startSeconds = 0;
  double childrenCpuBefore = 0;
};

// Starts program with argv (argv[0] is the invocation path), with env added to this environment
// (an empty value removes the variable), its standard streams on /dev/null.
StartedRun StartMeasured(const std::string& program, const std::vector<std::string>& argv,
                         const std::map<std::string, std::string>& env);

// Returns true and fills *cost once the run has ended; with wait unset returns false at once
// while it still runs. Nothing else may be waited for between the start and the end.
bool FinishMeasured(const StartedRun& run, bool wait, RunCost* cost);

// Runs program as StartMeasured does and returns what it cost once it has ended.
RunCost RunAndMeasure(const std::string& program, const std::vector<std::string>& argv,
                      const std::map<std::string, std::string>& env);

// Returns the middle value (the mean of the two middle ones for an even count); 0 when empty.
double Median(std::vector<double> values);

// Returns the largest value; 0 when empty.
double Largest(const std::vector<double>& values);

// Returns the median wall time of count runs of system(command).
double MedianSystemSeconds(const std::string& command, int count);

// Returns the median wall time of count runs of program with argv, started and waited for
// directly, without a shell.
double MedianSpawnSeconds(const std::string& program, const std::vector<std::string>& argv,
                          const std::map<std::string, std::string>& env, int count);

#endif  // QUILLON_BENCH_MEASURE_H_
