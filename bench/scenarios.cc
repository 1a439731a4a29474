#include "bench/scenarios.h"

#include <signal.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/bench_bundle.h"
#include "bench/measure.h"
#include "bundle/companions.h"
#include "bundle/shell.h"
#include "display/x11_server.h"
#include "engine/wine_launch.h"
#include "platform/process_state.h"
#include "process/instance_guard.h"
#include "process/snapshots.h"

namespace {

// Commands of a quick-mode run besides its pidof runs: the claim's echo, find and rm of the X11
// application's marker, the X11 start, the engine, and the release's echo.
constexpr int kQuickFixedCommands = 6;

std::map<std::string, std::string> LauncherEnv(const BenchBundle& bundle) {
  return {{"QUILLON_BENCH_ROOT", bundle.root}, {"QUILLON_WAIT_SECONDS", "30"},
          {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}};
}

RunCost RunValnor(const BenchBundle& bundle) {
  ResetRun(bundle);
  return RunAndMeasure(bundle.valnor, {bundle.valnor}, LauncherEnv(bundle));
}

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

bool IsGone(int pid) {
  return pid <= 0 || kill(pid, 0) != 0 || IsZombieProcess(pid);
}

// The median run time of the programs one quick-mode run starts, pidof times pidofRuns.
struct ProgramTimes {
  double pidof = 0;
  double others = 0;  // find, rm and the engine, once each
};

ProgramTimes MeasureProgramTimes(const BenchBundle& bundle, int count) {
  const std::map<std::string, std::string> env = LauncherEnv(bundle);
  const std::string pidof = bundle.macos + "/pidof";
  const std::string wine = bundle.contents + "/SharedSupport/Ambergate/bin/wine";
  ProgramTimes times;
  times.pidof = MedianSpawnSeconds(pidof, {pidof, "QVX11Server"}, env, count);
  times.others =
      MedianSpawnSeconds("/usr/bin/find", {"find", bundle.macos, "-name", ".X11location"}, env,
                         count) +
      MedianSpawnSeconds("/bin/rm", {"rm", "-f", bundle.macos + "/QVTempfile"}, env, count) +
      MedianSpawnSeconds(wine, {wine, "--workdir", "/", "/x.exe"}, env, count);
  return times;
}

// Runs the command texts of one quick-mode run through system(), in the launcher's order and
// with pidofCalls pidof runs, and returns the wall time: the run without the launcher itself.
double ReplayQuickRun(const BenchBundle& bundle, int pidofCalls) {
  ResetRun(bundle);
  for (const auto& [name, value] : LauncherEnv(bundle)) {
    if (value.empty()) {
      unsetenv(name.c_str());
    } else {
      setenv(name.c_str(), value.c_str(), 1);
    }
  }
  const std::string driveC = bundle.contents + "/SharedSupport/Ambergate/support/default/drive_c";
  const double start = MonotonicSeconds();
  WriteValnorPIDtoPidFile(bundle.instanceFile);
  RunShellCommand(ComposeFindMarkerCommand(bundle.macos, bundle.macos + "/QVTempfile"));
  RunShellCommand(ComposeRemoveScratchFileCommand(bundle.macos + "/QVTempfile"));
  MakePIDFile(bundle.macos, kX11ServerProcessName, BeforeSnapshotFile(bundle.macos));
  RunShellCommand(ComposeX11StartCommand(bundle.macos, "QVX11.app", ":4321"));
  for (int i = 1; i < pidofCalls; ++i) {
    MakePIDFile(bundle.macos, kX11ServerProcessName, AfterSnapshotFile(bundle.macos));
  }
  RunShellCommand(ComposeEngineCommand(bundle.macos, ":4321", driveC + "/Program Files/Example",
                                       "/Program Files/Example/Example.exe", "", false,
                                       ProgramPath::kBelowDriveC));
  MarkInstanceNotRunning(bundle.instanceFile);
  const double seconds = MonotonicSeconds() - start;
  // The server the replay started is found through running/ and killed by the next reset.
  for (int i = 0; i < 200 && LastX11ServerPID(bundle) == 0; ++i) usleep(1000);
  ResetRun(bundle);
  return seconds;
}

}  // namespace

OverheadFigure MeasureLaunchOverhead(int runs) {
  OverheadFigure figure;
  BenchBundle bundle = MakeBenchBundle("true");
  for (int i = 0; i < 3; ++i) RunValnor(bundle);  // warm the caches
  std::vector<double> walls, cpus, pidofs, commands, systems, replays, starts;
  for (int i = 0; i < runs; ++i) {
    RunCost cost = RunValnor(bundle);
    const int pidofCalls = CountCalls(bundle, "pidof");
    figure.allRan = figure.allRan && cost.exitStatus == 0 && CountCalls(bundle, "wine") == 1;
    walls.push_back(cost.wallSeconds);
    cpus.push_back(cost.cpuSeconds);
    pidofs.push_back(pidofCalls);
    commands.push_back(kQuickFixedCommands + pidofCalls);
    // The cost of a bare shell, sampled between the runs so both see the same machine state.
    systems.push_back(MedianSystemSeconds(":", 9));
    replays.push_back(ReplayQuickRun(bundle, pidofCalls));
    // The launcher alone: an invocation path without the bundle suffix ends it at once.
    starts.push_back(RunAndMeasure(bundle.valnor, {"/no-bundle/Valnor"}, {}).wallSeconds);
  }
  const ProgramTimes programs = MeasureProgramTimes(bundle, 31);
  figure.systemSeconds = Median(systems);
  std::vector<double> floors, ratios, replayRatios;
  for (int i = 0; i < runs; ++i) {
    replayRatios.push_back(walls[static_cast<size_t>(i)] / replays[static_cast<size_t>(i)]);
    const double floor = commands[static_cast<size_t>(i)] * figure.systemSeconds +
                         pidofs[static_cast<size_t>(i)] * programs.pidof + programs.others;
    floors.push_back(floor);
    ratios.push_back(walls[static_cast<size_t>(i)] / floor);
  }
  figure.runs = runs;
  figure.wallSeconds = Median(walls);
  figure.floorSeconds = Median(floors);
  figure.ratio = Median(ratios);
  figure.commands = Median(commands);
  figure.pidofCalls = Median(pidofs);
  figure.programSeconds = Median(pidofs) * programs.pidof + programs.others;
  figure.cpuSeconds = Median(cpus);
  figure.replaySeconds = Median(replays);
  figure.replayRatio = Median(replayRatios);
  figure.startSeconds = Median(starts);
  RemoveBenchBundle(bundle);
  return figure;
}

X11WaitFigure MeasureX11Wait(int runs, double delaySeconds, double pidofCostSeconds) {
  X11WaitFigure figure;
  BenchBundle bundle = MakeBenchBundle("true");
  SetControl(bundle, "pidof.cost", pidofCostSeconds > 0 ? std::to_string(pidofCostSeconds) : "");
  // What a run costs when its server is there at once, with the same pidof.
  std::vector<double> instantCpus;
  SetControl(bundle, "x11.delay", "");
  for (int i = 0; i < 5; ++i) instantCpus.push_back(RunValnor(bundle).cpuSeconds);
  const double instantCpuSeconds = Median(instantCpus);
  const std::string pidof = bundle.macos + "/pidof";
  std::vector<double> pidofCpus;
  for (int i = 0; i < 9; ++i) {
    RunCost cost = RunAndMeasure(pidof, {pidof, "QVX11Server"}, LauncherEnv(bundle));
    pidofCpus.push_back(cost.cpuSeconds);
  }
  figure.pidofCpu = Median(pidofCpus);
  std::vector<double> waits, shares, seen, retakes;
  for (int i = 0; i < runs; ++i) {
    // Spread the coming up over one longest retake pause, so the latency is not one phase.
    SetControl(bundle, "x11.delay", std::to_string(delaySeconds + 0.1 * i / runs));
    RunCost cost = RunValnor(bundle);
    std::optional<double> launched = ReadStamp(bundle, "x11.launched");
    std::optional<double> up = ReadStamp(bundle, "x11.up");
    std::optional<double> engine = ReadStamp(bundle, "wine.start");
    if (cost.exitStatus != 0 || !launched || !up || !engine) {
      figure.allRan = false;
      continue;
    }
    const double wait = *up - *launched;
    waits.push_back(wait);
    shares.push_back((cost.cpuSeconds - instantCpuSeconds) / wait);
    seen.push_back(*engine - *up);
    retakes.push_back(CountCalls(bundle, "pidof"));
  }
  figure.runs = runs;
  figure.waitSeconds = Median(waits);
  figure.cpuShare = Median(shares);
  figure.seenSeconds = Median(seen);
  figure.seenWorst = Largest(seen);
  figure.retakes = Median(retakes);
  RemoveBenchBundle(bundle);
  return figure;
}

namespace {

// One background-mode run, watched from outside for the release and the X11 server's end.
struct WatchedRun {
  RunCost cost;
  double shutdownSeconds = -1;  // from the Wine server's end to released and X11 gone
};

WatchedRun RunWatched(const BenchBundle& bundle) {
  using std::chrono::microseconds;
  WatchedRun watched;
  ResetRun(bundle);
  StartedRun run = StartMeasured(bundle.valnor, {bundle.valnor}, LauncherEnv(bundle));
  double doneAt = -1;
  while (!FinishMeasured(run, false, &watched.cost)) {
    const bool ended = ReadStamp(bundle, "wineserver.end").has_value();
    if (ended && doneAt < 0 && FirstLine(bundle.instanceFile) == "Not Running" &&
        IsGone(LastX11ServerPID(bundle))) {
      doneAt = MonotonicSeconds();
    }
    // Poll slowly while the Wine server lives, finely once it has ended.
    std::this_thread::sleep_for(ended ? microseconds(200) : microseconds(20000));
  }
  if (doneAt < 0) doneAt = MonotonicSeconds();
  if (std::optional<double> end = ReadStamp(bundle, "wineserver.end")) {
    watched.shutdownSeconds = doneAt - *end;
  }
  return watched;
}

}  // namespace

namespace {

double OwnCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Returns the CPU share that MonitorWineserver itself uses, in this process, while it waits
// lifeSeconds for a process that then ends.
double MeasureMonitorShare(double lifeSeconds) {
  pid_t child = fork();
  if (child == 0) {
    usleep(static_cast<useconds_t>(lifeSeconds * 1e6));
    _exit(0);
  }
  const double cpuBefore = OwnCpuSeconds();
  const double start = MonotonicSeconds();
  MonitorWineserver(static_cast<int32_t>(child));
  const double share = (OwnCpuSeconds() - cpuBefore) / (MonotonicSeconds() - start);
  int status = 0;
  waitpid(child, &status, 0);
  return share;
}

}  // namespace

WineWaitFigure MeasureWineWait(int runs, double lifeSeconds) {
  WineWaitFigure figure;
  BenchBundle bundle = MakeBenchBundle("false");
  const double shortLife = 1;
  std::vector<double> shortCpus;
  SetControl(bundle, "wineserver.seconds", std::to_string(shortLife));
  for (int i = 0; i < runs; ++i) {
    WatchedRun watched = RunWatched(bundle);
    figure.allRan = figure.allRan && watched.cost.exitStatus == 0;
    shortCpus.push_back(watched.cost.cpuSeconds);
  }
  const double shortCpu = Median(shortCpus);
  std::vector<double> lives, shares, shutdowns;
  for (int i = 0; i < runs; ++i) {
    // Spread the end over the launcher's one-second probe, so the latency is not one phase.
    const double life = lifeSeconds + static_cast<double>(i) / runs;
    SetControl(bundle, "wineserver.seconds", std::to_string(life));
    WatchedRun watched = RunWatched(bundle);
    figure.allRan = figure.allRan && watched.cost.exitStatus == 0 && watched.shutdownSeconds >= 0;
    lives.push_back(life);
    shares.push_back((watched.cost.cpuSeconds - shortCpu) / (life - shortLife));
    shutdowns.push_back(watched.shutdownSeconds);
  }
  figure.runs = runs;
  figure.lifeSeconds = Median(lives);
  figure.cpuShare = Median(shares);
  figure.shutdownSeconds = Median(shutdowns);
  figure.shutdownWorst = Largest(shutdowns);
  RemoveBenchBundle(bundle);
  figure.waitCpuShare = MeasureMonitorShare(lifeSeconds);
  return figure;
}
