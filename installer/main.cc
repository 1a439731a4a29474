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
#include "display/x11_server.h"
#include "engine/dialogs.h"
#include "engine/presence.h"
#include "engine/wine_launch.h"
#include "installer/file_dialog.h"
#include "platform/process_state.h"
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
    return 0;
  }
  const bool engineInstalled = IsEngineInstalled(paths.macos, x11App, engineRequirement);

  // Decision: go on only with the engine present and a chosen file.
  if (!engineInstalled || chosenPath.empty()) return 0;

  // Display, stepping past one that another server serves or another launcher has claimed.
  const std::string display = ClaimFreeDisplay(SetDisplay());

  // X11 server; when it never shows up the run ends released, with a message.
  const int32_t x11Pid = StartQVX11(paths.macos, x11App, display);
  if (x11Pid <= 0) {
    ShowMessageDialog(X11ServerDidNotStartMessage(paths.macos));
    ReleaseInstance(paths.instanceFile, guard);
    return 0;
  }

  // Engine: the chosen file by its full path, in its own folder, with no extra words.
  const int32_t winePid = StartQVwine(paths.macos, display, installerFolder, chosenPath, "",
                                      quickX11KillShutdown, ProgramPath::kFullPath);

  // Wait for that Wine server to end, in background mode only.
  WaitForWineRunToEnd(paths.macos, quickX11KillShutdown, winePid);

  // Release the bundle, then stop the X11 server.
  ReleaseInstance(paths.instanceFile, guard);
  StopX11Server(x11Pid);
  return 0;
}
