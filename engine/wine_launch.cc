#include "engine/wine_launch.h"

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "engine/dialogs.h"
#include "platform/process_state.h"
#include "platform/quit_signals.h"
#include "process/snapshots.h"

bool IsBackgroundMode(const std::string& quickX11KillShutdown) {
  return quickX11KillShutdown == "false";
}

std::string ComposeEngineCommand(const std::string& progFolder, const std::string& display,
                                 const std::string& workdir, const std::string& exe,
                                 const std::string& flags, bool background,
                                 ProgramPath programPath) {
  std::string command =
      "export VERSIONER_PERL_PREFER_32_BIT=yes; PROGFOLD=\"" + EscapeForDoubleQuotes(progFolder) +
      "\"; RESOFOLD=\"${PROGFOLD%/*S}/Resources\"; SSFOLD=\"${PROGFOLD%/*S}/SharedSupport\"; "
      "export QV_BOTTLE_PATH=\"$SSFOLD/Ambergate/support\"; "
      "export WINEPREFIX=\"$SSFOLD/Ambergate/support/default\"; export DISPLAY=" +
      display +
      "; cd \"$SSFOLD/Ambergate/bin\"; DYLD_FALLBACK_LIBRARY_PATH=\"$SSFOLD/X11/lib\" "
      "\"$SSFOLD/Ambergate/bin/wine\" --workdir \"" +
      EscapeForDoubleQuotes(workdir);
  command += programPath == ProgramPath::kBelowDriveC ? "\" \"$WINEPREFIX/drive_c" : "\" \"";
  command += EscapeForDoubleQuotes(exe) + "\"";
  // Only the empty text goes without flags; a single blank still takes the flags form.
  if (!flags.empty()) command += " " + flags;
  command += " > \"/$RESOFOLD/Logs/LastWine.log\" 2>&1";
  if (background) command += " &";
  return command;
}

int32_t StartQVwine(const std::string& progFolder, const std::string& display,
                    const std::string& workdir, const std::string& exe, const std::string& flags,
                    const std::string& quickX11KillShutdown, ProgramPath programPath) {
  const bool background = IsBackgroundMode(quickX11KillShutdown);
  const std::string command =
      ComposeEngineCommand(progFolder, display, workdir, exe, flags, background, programPath);
  if (QuitSignal() != 0) return 0;
  if (!background) {
    RunShellCommand(command);
    return 0;
  }
  const std::string before = BeforeSnapshotFile(progFolder);
  MakePIDFile(progFolder, kWineserverProcessName, before);
  if (QuitSignal() != 0) return 0;
  RunShellCommand(command);
  return WaitForNewLivePID(progFolder, kWineserverProcessName, before,
                           AfterSnapshotFile(progFolder));
}

int32_t FindBundleWineserver(const std::string& progFolder) {
  const std::string contents = ResolvedPath(progFolder + "/..");
  if (contents.empty()) return 0;
  const std::string snapshot = AfterSnapshotFile(progFolder);
  MakePIDFile(progFolder, kWineserverProcessName, snapshot);
  for (const std::string& line : ReadLines(snapshot)) {
    const int32_t pid = ParsePID(line);
    if (pid <= 0 || IsZombieProcess(pid)) continue;
    if (ProcessWorksInBundle(pid, contents)) return pid;
  }
  return 0;
}

void WaitForWineRunToEnd(const std::string& progFolder, const std::string& quickX11KillShutdown,
                         const HeldProcess& wineServer) {
  if (!IsBackgroundMode(quickX11KillShutdown) || QuitSignal() != 0) return;
  if (wineServer.pid > 0) {
    MonitorWineserver(wineServer);
    return;
  }
  // No new server: the engine may work with one of this bundle that already ran (from a run
  // that just ended, or a tool like winecfg); the display must stay up until that one ends.
  HeldProcess running = HoldProcess(FindBundleWineserver(progFolder));
  if (running.pid > 0) {
    MonitorWineserver(running);
  } else if (QuitSignal() == 0) {
    ShowMessageDialog(WineServerDidNotStartMessage(progFolder));
  }
  LetGoOfProcess(&running);
}
