// The in-process pieces under Google Benchmark: the Info.plist reader over large files and the
// snapshot comparison over long snapshots, at growing sizes with the fitted growth.
#ifndef QUILLON_BENCH_MICRO_H_
#define QUILLON_BENCH_MICRO_H_

#include <string>
#include <vector>

// One line of the result: a size and its time per call, or the fitted growth of a benchmark.
struct MicroRow {
  std::string name;     // e.g. "GetFromInfoPlist/4096"
  std::string measure;  // e.g. "212 us per call" or "~ 52 ns * N"
};

// Runs the benchmarks (Google Benchmark's own flags in argv are honoured) and returns their rows.
std::vector<MicroRow> RunMicroBenchmarks(int argc, char** argv);

#endif  // QUILLON_BENCH_MICRO_H_
