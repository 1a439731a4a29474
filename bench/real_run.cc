#include "bench/real_run.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

#include "bench/measure.h"
#include "bundle/shell.h"
#include "display/display_choice.h"
#include "platform/programs.h"

namespace fs = std::filesystem;

namespace {

constexpr char kSampleName[] = "BenchSample";
constexpr char kSampleWords[] = "--seconds 1";

// Runs the assembly tool with words, its output into logFile; returns true when it succeeded.
bool RunBundleTool(const std::vector<std::string>& words, const std::string& logFile) {
  std::string command = QuoteForShell(QUILLON_BUNDLE_TOOL);
  for (const std::string& word : words) command += " " + QuoteForShell(word);
  return RunShellCommand(command + " > " + QuoteForShell(logFile) + " 2>&1") == 0;
}

// Returns once no Wine server of the prefix is left, so every run starts Wine from cold.
void WaitForWineToSettle(const std::string& prefix) {
  RunShellCommand("WINEPREFIX=" + QuoteForShell(prefix) + " wineserver -w > /dev/null 2>&1");
}

// Returns why a real run cannot happen here, or "".
std::string MissingForRealRun() {
  if (FindProgramOnPath("wine").empty()) return "Wine is not installed";
  if (FindProgramOnPath("wineserver").empty()) return "wineserver is not on PATH";
  if (FindProgramOnPath("Xvfb").empty()) return "Xvfb is not installed";
  if (std::string(QUILLON_SAMPLE).empty() || !fs::exists(QUILLON_SAMPLE)) {
    return "the sample program is not built (x86_64-w64-mingw32-gcc missing)";
  }
  if (!fs::exists(QUILLON_BUNDLE_TOOL)) return "the bundle tool tools/quillon-bundle is missing";
  return "";
}

}  // namespace

RealRunFigure MeasureRealRun(int runs, const std::string& workFolder) {
  RealRunFigure figure;
  figure.skipped = MissingForRealRun();
  if (!figure.skipped.empty()) return figure;
  std::error_code error;
  fs::create_directories(workFolder, error);
  const std::string log = workFolder + "/quillon-bundle.log";
  // The seed's Wine prefix is made once with wineboot and kept for later benchmark runs.
  const std::string seedPrefix =
      workFolder + "/BenchSeed.app/Contents/SharedSupport/Ambergate/support/default";
  if (!fs::exists(seedPrefix + "/drive_c") &&
      !RunBundleTool({"--program", QUILLON_SAMPLE, "--name", "BenchSeed", "--dest", workFolder,
                      "--x11", "xvfb", "--force"},
                     log)) {
    figure.skipped = "the bundle tool could not build the seed bundle (see " + log + ")";
    return figure;
  }
  WaitForWineToSettle(seedPrefix);
  if (!RunBundleTool({"--program", QUILLON_SAMPLE, "--name", kSampleName, "--dest", workFolder,
                      "--x11", "xvfb", "--quick", "--flags", kSampleWords, "--prefix-from",
                      seedPrefix, "--link-prefix", "--force"},
                     log)) {
    figure.skipped = "the bundle tool could not build the sample bundle (see " + log + ")";
    return figure;
  }
  const std::string contents = workFolder + "/" + kSampleName + ".app/Contents";
  const std::string prefix = contents + "/SharedSupport/Ambergate/support/default";
  const std::string folder = std::string("/Program Files/") + kSampleName;
  const std::string program = folder + "/" + fs::path(QUILLON_SAMPLE).filename().string();
  const std::string report = prefix + "/drive_c" + folder + "/sample-received.txt";
  const std::string valnor = contents + "/MacOS/Valnor";
  const std::map<std::string, std::string> env = {
      {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QUILLON_WAIT_SECONDS", "60"}};

  // Each run starts with Wine settled and is checked by the report the sample writes.
  auto timedRun = [&](bool byHand, int turn) {
    WaitForWineToSettle(prefix);
    fs::remove(report, error);
    RunCost cost;
    if (byHand) {
      const std::string display = ChooseFreeDisplay(":" + std::to_string(611 + turn));
      cost = RunAndMeasure("/bin/sh", {"sh", QUILLON_BY_HAND, contents, display, program, folder,
                                       "--seconds", "1"},
                           env);
    } else {
      cost = RunAndMeasure(valnor, {valnor}, env);
    }
    if (cost.exitStatus != 0 || !fs::exists(report)) ++figure.failedRuns;
    return cost.wallSeconds;
  };
  timedRun(false, 0);  // warm the page cache and the prefix
  timedRun(true, 0);
  figure.failedRuns = 0;
  std::vector<double> valnorTimes, byHandTimes, ratios;
  for (int i = 0; i < runs; ++i) {
    // Alternate the order so neither side always runs first after a settle.
    double valnorTime, byHandTime;
    if (i % 2 == 0) {
      valnorTime = timedRun(false, i);
      byHandTime = timedRun(true, i);
    } else {
      byHandTime = timedRun(true, i);
      valnorTime = timedRun(false, i);
    }
    valnorTimes.push_back(valnorTime);
    byHandTimes.push_back(byHandTime);
    ratios.push_back(valnorTime / byHandTime);
  }
  WaitForWineToSettle(prefix);
  figure.runs = runs;
  figure.valnorSeconds = Median(valnorTimes);
  figure.byHandSeconds = Median(byHandTimes);
  figure.ratio = Median(ratios);
  return figure;
}
