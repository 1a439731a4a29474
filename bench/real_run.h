// A whole Valnor run of the sample program with Debian's Wine and Xvfb, against the same run
// started by a plain shell script.
#ifndef QUILLON_BENCH_REAL_RUN_H_
#define QUILLON_BENCH_REAL_RUN_H_

#include <string>

// The real-run comparison, or why it could not run.
struct RealRunFigure {
  std::string skipped;        // "" when it ran, else the reason
  int runs = 0;
  double valnorSeconds = 0;   // median wall time of a Valnor run
  double byHandSeconds = 0;   // median wall time of the shell script's run
  double ratio = 0;           // median of the paired ratios Valnor / by hand
  int failedRuns = 0;         // runs after which the sample's report was missing
};

// Returns the comparison over runs pairs of runs, building the bundle in workFolder.
RealRunFigure MeasureRealRun(int runs, const std::string& workFolder);

#endif  // QUILLON_BENCH_REAL_RUN_H_
