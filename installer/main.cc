// Brackenfold: asks for a Windows installer and runs it in the wrapper bundle around it, from
// the instance guard to the clean-up.
#include <cstdint>
#include <cstdio>
#include <string>

#include "bundle/bundle_paths.h"
#include "bundle/companions.h"
#include "bundle/info_plist.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "display/display_choice.h"
#include "display/x11_ready.h"
#include "display/x11_server.h"
#include "engine/dialogs.h"
#include "engine/presence.h"
#include "engine/run_end.h"
#include "engine/wine_launch.h"
#include "installer/file_dialog.h"
#include "platform/held_process.h"
#include "platform/process_state.h"
#include "platform/quit_signals.h"
#include "process/instance_guard.h"

int main(int, char** argv) {
  const std::string argv0 = argv[0] ? argv[0] : "";

  // Paths: the bundle is found from the invocation path, made absolute first.
  std::optional<BundlePaths> found =
      DeriveBundlePaths(MakeAbsolutePath(argv0, CurrentWorkingFolder()), kBrackenfoldSuffix);
  if (!found) {
    std::fprintf(stderr, "%s\n", NoBundleMessage("Brackenfold", kBrackenfoldSuffix, argv0).c_str());
    return 1;
  }
  const BundlePaths& paths = *found;

  // Guard and claim, as one step: a live launcher of this bundle, or an instance file that
  // cannot guard it, denies the start. The claim lives until the release or this process's end.
  const InstanceState guard = TestAndClaimInstance(paths.instanceFile);
  if (!guard.free) {
    ReportRefusedStart(Launcher::kBrackenfold, paths.instanceFile, guard);
    return 0;
  }

  // Quitting: from the claim on, a quit signal ends the whole run and releases the bundle.
  WatchQuitSignals();
  RunInHand run{paths.instanceFile, paths.macos, guard, {}, {}};

  // Settings: the engine requirement and the shutdown mode.
  const std::string engineRequirement =
      GetFromInfoPlist(paths.infoPlist, kEngineRequirementKey, kStringKind);
  const std::string quickX11KillShutdown =
      GetFromInfoPlist(paths.infoPlist, kQuickX11KillShutdownKey, kBooleanKind);

  // File dialog into a scratch file cleared first, so a cancel never reads a leftover path; then
  // the chosen path from it, and it is removed at once.
  RemoveLeftoverFile(paths.tempFile);
  ShowFileDialog(paths.tempFile);
  const std::string chosenPath = ReadFirstLine(paths.tempFile);
  RunShellCommand(ComposeRemoveScratchFileCommand(paths.tempFile));

  // Installer folder: the chosen path cut after its last "/".
  const std::string installerFolder = InstallerFolderOf(chosenPath);

  // X11 application and engine check, also after a cancelled dialog.
  const std::string x11App = GetQVX11AppName(paths.macos);
  if (x11App.empty()) {
    ShowMessageDialog(NoX11ApplicationMessage(paths.macos));
    return EndRunUnstarted(&run);
  }
  const bool engineInstalled = IsEngineInstalled(paths.macos, x11App, engineRequirement);

  // Decision: go on only with the engine present and a chosen file.
  if (!engineInstalled || chosenPath.empty()) return EndRunUnstarted(&run);
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

  // Engine: the chosen file by its full path, in its own folder, with no extra words.
  run.wineServer = HoldProcess(StartQVwine(paths.macos, display, installerFolder, chosenPath, "",
                                           quickX11KillShutdown, ProgramPath::kFullPath));

  // Wait for that Wine server to end, in background mode only.
  WaitForWineRunToEnd(paths.macos, quickX11KillShutdown, run.wineServer);
  if (QuitSignal() != 0) return EndRunOnQuit(&run);

  // Release the bundle, then stop the X11 server.
  return EndRun(&run);
}
