#include "bench/micro.h"

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "bundle/info_plist.h"
#include "process/snapshots.h"

namespace {

// A scratch folder for the benchmark files, removed at exit of the run.
std::string ScratchFolder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/quillon-micro.XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return folder;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

// An Info.plist of about lines lines whose wanted key stands last, so the reader reads it all.
void InfoPlistLookup(benchmark::State& state) {
  const int64_t lines = state.range(0);
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n";
  for (int64_t i = 0; i < lines / 2; ++i) {
    text += "\t<key>CFBundleEntry" + std::to_string(i) + "</key>\n\t<string>value number " +
            std::to_string(i) + "</string>\n";
  }
  text += "\t<key>Quick X11 Kill Shutdown</key>\n\t<false/>\n</dict>\n</plist>\n";
  const std::string path = ScratchFolder() + "/Info.plist";
  WriteText(path, text);
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetFromInfoPlist(path, "Quick X11 Kill Shutdown", "boolean"));
  }
  state.SetComplexityN(lines);
}

// Snapshots of n lines each whose one new line comes last: every after line re-reads the before file.
void SnapshotComparison(benchmark::State& state) {
  const int64_t lines = state.range(0);
  std::string before;
  for (int64_t i = 0; i < lines; ++i) before += std::to_string(100000 + i) + "\n";
  const std::string macos = ScratchFolder() + "/MacOS";
  std::filesystem::create_directories(macos);
  const std::string beforeFile = ScratchFolder() + "/.firstpidfile";
  const std::string afterFile = ScratchFolder() + "/.secondpidfile";
  WriteText(beforeFile, before);
  // The new ID names no process, so the bundle check has nothing to rule it out with.
  WriteText(afterFile, before + "2147483000\n");
  for (auto _ : state) benchmark::DoNotOptimize(FindNewPID(macos, beforeFile, afterFile));
  state.SetComplexityN(lines);
}

BENCHMARK(InfoPlistLookup)->Name("GetFromInfoPlist")->RangeMultiplier(8)->Range(64, 1 << 18)
    ->Complexity();
BENCHMARK(SnapshotComparison)->Name("FindNewPID")->RangeMultiplier(4)->Range(4, 1024)
    ->Complexity();

std::string FormatTime(double value, benchmark::TimeUnit unit) {
  double ns = value;
  if (unit == benchmark::kMicrosecond) ns *= 1e3;
  if (unit == benchmark::kMillisecond) ns *= 1e6;
  if (unit == benchmark::kSecond) ns *= 1e9;
  char text[64];
  if (ns >= 1e6) {
    std::snprintf(text, sizeof(text), "%.2f ms", ns / 1e6);
  } else if (ns >= 1e3) {
    std::snprintf(text, sizeof(text), "%.1f us", ns / 1e3);
  } else {
    std::snprintf(text, sizeof(text), "%.1f ns", ns);
  }
  return text;
}

std::string GrowthName(benchmark::BigO growth) {
  switch (growth) {
    case benchmark::o1: return "1";
    case benchmark::oN: return "N";
    case benchmark::oNSquared: return "N^2";
    case benchmark::oNCubed: return "N^3";
    case benchmark::oLogN: return "log N";
    case benchmark::oNLogN: return "N log N";
    default: return "?";
  }
}

// Google Benchmark hands its results to a reporter; this one keeps them as table rows.
class RowCollector : public benchmark::BenchmarkReporter {
 public:
  explicit RowCollector(std::vector<MicroRow>* rows) : rows_(rows) {}
  bool ReportContext(const Context&) override { return true; }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.report_rms) continue;
      if (run.report_big_o) {
        rows_->push_back({run.run_name.function_name + " growth",
                          "~ " + FormatTime(run.GetAdjustedCPUTime(), run.time_unit) + " * " +
                              GrowthName(run.complexity)});
      } else {
        rows_->push_back({run.benchmark_name(),
                          FormatTime(run.GetAdjustedCPUTime(), run.time_unit) + " per call"});
      }
    }
  }

 private:
  std::vector<MicroRow>* rows_;
};

}  // namespace

std::vector<MicroRow> RunMicroBenchmarks(int argc, char** argv) {
  std::vector<MicroRow> rows;
  benchmark::Initialize(&argc, argv);
  RowCollector collector(&rows);
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();
  std::filesystem::remove_all(ScratchFolder());
  return rows;
}
