// The launcher figures measured with the fast stand-ins: launch overhead, the CPU a launcher
// uses while it waits for a slow X11 server or for the Wine server, and the shutdown latency.
#ifndef QUILLON_BENCH_SCENARIOS_H_
#define QUILLON_BENCH_SCENARIOS_H_

#include <string>

// A quick-mode run against its floor.
struct OverheadFigure {
  int runs = 0;
  double wallSeconds = 0;     // median wall time of a whole Valnor run
  double floorSeconds = 0;    // median floor: commands x system(":") + the programs' own run time
  double ratio = 0;           // median of wall / floor over the runs
  double commands = 0;        // median number of shell commands a run issued
  double pidofCalls = 0;      // median number of pidof runs among them
  double systemSeconds = 0;   // median cost of one system(":")
  double programSeconds = 0;  // median run time of the programs (pidof, find, rm, engine) of a run
  double cpuSeconds = 0;      // median CPU of a run, the launcher and its children
  double replaySeconds = 0;   // median time of the run's own command texts replayed by system()
  double replayRatio = 0;     // median of wall / replay over the runs
  double startSeconds = 0;    // median start and exit of the launcher process alone
  bool allRan = true;         // every run exited 0 and started the engine once
};

// Returns the quick-mode launch overhead over runs runs with instant stand-ins.
OverheadFigure MeasureLaunchOverhead(int runs);

// The wait for an X11 server that shows up late.
struct X11WaitFigure {
  int runs = 0;
  double waitSeconds = 0;   // median time from the server's start to its coming up
  double cpuShare = 0;      // median (CPU of the run - CPU of an instant run) / wait, of one core
  double seenSeconds = 0;   // median time from its coming up to the engine's start
  double seenWorst = 0;     // the longest of those
  double retakes = 0;       // median pidof runs per run
  double pidofCpu = 0;      // median processor time of one pidof run, measured alone
  bool allRan = true;
};

// Returns the figures for an X11 server that comes up delaySeconds after its start, with a pidof
// stand-in that uses pidofCostSeconds of processor time a call; the extra CPU is counted over a
// run with an instant server and the same pidof.
X11WaitFigure MeasureX11Wait(int runs, double delaySeconds, double pidofCostSeconds);

// The wait for the Wine server in background mode, and the shutdown after it.
struct WineWaitFigure {
  int runs = 0;
  double lifeSeconds = 0;        // median life of the long-lived Wine server
  double cpuShare = 0;           // median extra CPU per second of Wine server life, of one core
  double waitCpuShare = 0;       // CPU of the wait itself (MonitorWineserver in process) / life
  double shutdownSeconds = 0;    // median time from the Wine server's end to released and X gone
  double shutdownWorst = 0;      // the longest of those
  bool allRan = true;
};

// Returns the figures for a Wine server that lives about lifeSeconds, against one that lives 1 s.
WineWaitFigure MeasureWineWait(int runs, double lifeSeconds);

#endif  // QUILLON_BENCH_SCENARIOS_H_
