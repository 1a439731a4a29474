#include "engine/presence.h"

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "engine/dialogs.h"

std::string ComposeX11LinkRepairCommand(const std::string& macos, const std::string& x11App) {
  return "cd " + QuoteForShell(macos + "/../SharedSupport") + "; rm X11; ln -s " +
         QuoteForShell(X11LinkTarget(x11App)) + " X11";
}

bool IsEngineInstalled(const std::string& macos, const std::string& x11App,
                       const std::string& engineRequirement) {
  if (!CanOpenForReading(EngineProgramPath(macos))) {
    ShowMessageDialog(MissingEngineMessage(engineRequirement));
    return false;
  }
  if (!CanOpenForReading(X11LinkPath(macos))) {
    RunShellCommand(ComposeX11LinkRepairCommand(macos, x11App));
  }
  return true;
}

bool IsExeInstalled(const std::string& exePath) {
  if (CanOpenForReading(exePath)) return true;
  ShowMessageDialog(MissingProgramMessage());
  return false;
}
