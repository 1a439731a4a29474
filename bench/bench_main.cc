// The launcher benchmark: launch overhead, CPU while waiting, shutdown latency, a real Wine run
// against a plain script, and the in-process pieces; prints one table. It reports, it does not
// pass or fail. "--no-real" leaves out the run with real Wine; Google Benchmark's flags pass on.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/micro.h"
#include "bench/real_run.h"
#include "bench/scenarios.h"
#include "tests/private_x11_sockets.h"

namespace {

struct Row {
  std::string figure;
  std::string measured;
  std::string aim;
  std::string verdict;
  std::string detail;
};

std::string Format(const char* format, double value) {
  char text[128];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

std::string Ms(double seconds) { return Format("%.2f ms", seconds * 1e3); }

std::string Percent(double share) { return Format("%.3f %%", share * 100); }

std::string Verdict(bool met, bool valid) {
  if (!valid) return "INVALID";
  return met ? "met" : "MISSED";
}

void PrintTable(const std::vector<Row>& rows, const std::vector<MicroRow>& micro) {
  std::printf("%-52s %-14s %-10s %s\n", "figure", "measured", "aim", "verdict");
  std::printf("%s\n", std::string(86, '-').c_str());
  for (const Row& row : rows) {
    std::printf("%-52s %-14s %-10s %s\n", row.figure.c_str(), row.measured.c_str(),
                row.aim.c_str(), row.verdict.c_str());
    if (!row.detail.empty()) std::printf("    %s\n", row.detail.c_str());
  }
  for (const MicroRow& row : micro) {
    std::printf("%-52s %s\n", ("(f) " + row.name).c_str(), row.measure.c_str());
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  bool withReal = true;
  std::string workFolder = QUILLON_BENCH_WORK;
  std::vector<char*> benchmarkArgs = {argv[0]};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-real") == 0) {
      withReal = false;
    } else {
      benchmarkArgs.push_back(argv[i]);
    }
  }
  std::vector<Row> rows;
  // The stand-in X11 servers listen in a /tmp/.X11-unix of the benchmark's own where possible.
  UsePrivateX11SocketFolder();

  const OverheadFigure overhead = MeasureLaunchOverhead(40);
  rows.push_back({"(a) launch overhead, quick mode: wall / floor", Format("%.2f", overhead.ratio),
                  "<= 1.30", Verdict(overhead.ratio <= 1.3, overhead.allRan),
                  "Valnor " + Ms(overhead.wallSeconds) + " vs floor " +
                      Ms(overhead.floorSeconds) + " (median of " +
                      std::to_string(overhead.runs) + " runs): " +
                      Format("%.0f", overhead.commands) + " shell commands (" +
                      Format("%.0f", overhead.pidofCalls) + " pidof) x " +
                      Ms(overhead.systemSeconds) + " per system(\":\") + " +
                      Ms(overhead.programSeconds) + " programs' own run; CPU " +
                      Ms(overhead.cpuSeconds) + " per run"});
  rows.push_back({"(a) the same against its commands replayed", Format("%.2f", overhead.replayRatio),
                  "-", "-",
                  "the run's own command texts through system() take " +
                      Ms(overhead.replaySeconds) + "; the launcher process alone starts and ends in " +
                      Ms(overhead.startSeconds)});

  // The wait for a slow X11 server, with the instant pidof stand-in and with one that costs
  // about 10 ms of processor time a call, as a real pidof can.
  for (double pidofCost : {0.0, 0.010}) {
    const X11WaitFigure x11 = MeasureX11Wait(5, 3.0, pidofCost);
    const std::string which = pidofCost > 0 ? ", pidof 10 ms" : ", instant pidof";
    rows.push_back({"(b) CPU while waiting for a slow X11 server" + which, Percent(x11.cpuShare),
                    "<= 2 %", Verdict(x11.cpuShare <= 0.02, x11.allRan),
                    "extra CPU over an instant-server run / wait of " +
                        Format("%.2f s", x11.waitSeconds) + ", " + Format("%.0f", x11.retakes) +
                        " pidof runs of " + Ms(x11.pidofCpu) + " CPU each, median of " +
                        std::to_string(x11.runs)});
    rows.push_back({"(b) new X11 server seen after it came up" + which, Ms(x11.seenSeconds),
                    pidofCost > 0 ? "-" : "<= 100 ms",
                    pidofCost > 0 ? "-" : Verdict(x11.seenWorst <= 0.1, x11.allRan),
                    "worst " + Ms(x11.seenWorst) +
                        "; the server's socket listening to the engine's start"});
  }

  const WineWaitFigure wine = MeasureWineWait(3, 10.0);
  rows.push_back({"(c) CPU while waiting for the Wine server", Percent(wine.waitCpuShare),
                  "<= 0.1 %", Verdict(wine.waitCpuShare <= 0.001, wine.allRan),
                  "MonitorWineserver in process over a 10 s wait; whole runs: " +
                      Percent(wine.cpuShare) + " (extra CPU of a " +
                      Format("%.1f s", wine.lifeSeconds) +
                      " Wine server over a 1 s one per extra second, within run-to-run noise)"});
  rows.push_back({"(d) shutdown latency, background mode", Format("%.3f s", wine.shutdownSeconds),
                  "<= 1.1 s", Verdict(wine.shutdownWorst <= 1.1, wine.allRan),
                  "worst " + Format("%.3f s", wine.shutdownWorst) +
                      "; Wine server's end to \"Not Running\" and the X11 server gone"});

  if (withReal) {
    const RealRunFigure real = MeasureRealRun(3, workFolder);
    if (!real.skipped.empty()) {
      rows.push_back({"(e) real Wine + Xvfb: Valnor / by hand", "skipped", "<= 1.05", "-",
                      "skipped: " + real.skipped});
    } else {
      rows.push_back({"(e) real Wine + Xvfb: Valnor / by hand", Format("%.3f", real.ratio),
                      "<= 1.05", Verdict(real.ratio <= 1.05, real.failedRuns == 0),
                      "Valnor " + Format("%.2f s", real.valnorSeconds) + " vs script " +
                          Format("%.2f s", real.byHandSeconds) + ", sample --seconds 1, " +
                          std::to_string(real.runs) + " pairs; runs without the sample's report: " +
                          std::to_string(real.failedRuns)});
    }
  } else {
    rows.push_back({"(e) real Wine + Xvfb: Valnor / by hand", "skipped", "<= 1.05", "-",
                    "skipped: --no-real"});
  }

  int benchmarkArgc = static_cast<int>(benchmarkArgs.size());
  const std::vector<MicroRow> micro = RunMicroBenchmarks(benchmarkArgc, benchmarkArgs.data());
  PrintTable(rows, micro);
  return 0;
}
