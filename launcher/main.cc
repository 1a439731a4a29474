// Valnor: runs the Windows program that the wrapper bundle's Info.plist names, from the
// instance guard to the clean-up.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bundle/bundle_paths.h"
#include "bundle/info_plist.h"
#include "display/display_choice.h"
#include "display/x11_ready.h"
#include "display/x11_server.h"
#include "engine/dialogs.h"
#include "engine/presence.h"
#include "engine/run_end.h"
#include "engine/wine_launch.h"
#include "platform/held_process.h"
#include "platform/process_state.h"
#include "platform/quit_signals.h"
#include "process/instance_guard.h"

int main(int, char** argv) {
  const std::string argv0 = argv[0] ? argv[0] : "";

  // Paths: the bundle is found from the invocation path, made absolute first.
  std::optional<BundlePaths> found =
      DeriveBundlePaths(MakeAbsolutePath(argv0, CurrentWorkingFolder()), kValnorSuffix);
  if (!found) {
    std::fprintf(stderr, "%s\n", NoBundleMessage("Valnor", kValnorSuffix, argv0).c_str());
    return 1;
  }
  const BundlePaths& paths = *found;

  // Guard and claim, as one step: a live launcher of this bundle, or an instance file that
  // cannot guard it, denies the start. The claim lives until the release or this process's end.
  const InstanceState guard = TestAndClaimInstance(paths.instanceFile);
  if (!guard.free) {
    ReportRefusedStart(Launcher::kValnor, paths.instanceFile, guard);
    return 0;
  }

  // Quitting: from the claim on, a quit signal ends the whole run and releases the bundle.
  WatchQuitSignals();
  RunInHand run{paths.instanceFile, paths.macos, guard, {}, {}};

  // Settings: the five keys of Info.plist, one read each.
  LaunchConfig config = ReadLaunchConfig(paths.infoPlist);

  // Working folder below drive_c.
  const std::string workingFolder = paths.driveC + config.workdir;

  // X11 application, found by its marker; without one there is no server to start.
  const std::string x11App = GetQVX11AppName(paths.macos);
  if (x11App.empty()) {
    ShowMessageDialog(NoX11ApplicationMessage(paths.macos));
    return EndRunUnstarted(&run);
  }

  // Engine present (repairing its X11 link), then the Windows program.
  if (!IsEngineInstalled(paths.macos, x11App, config.engineRequirement) ||
      !IsExeInstalled(paths.driveC + config.cmdLine)) {
    return EndRunUnstarted(&run);
  }
  if (QuitSignal() != 0) return EndRunOnQuit(&run);

  // Display, stepping past one that another server serves or another launcher has claimed.
  const std::string display = ClaimFreeDisplay(SetDisplay());

  // X11 server, held from the moment its ID is learnt.
  run.x11Server = HoldProcess(StartQVX11(paths.macos, x11App, display));

  // Readiness: the engine starts only once the display answers; a server that never shows up,
  // ends first or never answers ends the run released, with a message.
  const bool displayAnswers = WaitForDisplayToAnswer(display, run.x11Server);
  if (QuitSignal() != 0) return EndRunOnQuit(&run);
  if (!displayAnswers) {
    ShowMessageDialog(X11ServerDidNotStartMessage(paths.macos));
    return EndRun(&run);
  }

  // Engine: in the foreground (quick mode) or in the background with its Wine server held.
  run.wineServer = HoldProcess(StartQVwine(paths.macos, display, workingFolder, config.cmdLine,
                                           config.cmdLineFlags, config.quickX11KillShutdown));

  // Wait for that Wine server to end, in background mode only.
  WaitForWineRunToEnd(paths.macos, config.quickX11KillShutdown, run.wineServer);
  if (QuitSignal() != 0) return EndRunOnQuit(&run);

  // Release the bundle, then stop the X11 server.
  return EndRun(&run);
}
