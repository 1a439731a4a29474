#include "bundle/companions.h"

#include "bundle/shell.h"

std::string BeforeSnapshotFile(const std::string& macos) { return macos + "/../.firstpidfile"; }

std::string AfterSnapshotFile(const std::string& macos) { return macos + "/../.secondpidfile"; }

std::string ComposePidofCommand(const std::string& macos, const std::string& processName,
                                const std::string& outFile) {
  return "cd " + QuoteForShell(macos) + "; ./pidof " + QuoteForShell(processName) + " > " +
         QuoteForShell(outFile) + " 2>&1";
}

std::string ComposeRemoveScratchFileCommand(const std::string& scratchFile) {
  return "rm " + QuoteForShell(scratchFile);
}

std::string EngineProgramPath(const std::string& macos) {
  return macos + "/../SharedSupport/Ambergate/bin/wine";
}

std::string X11LinkPath(const std::string& macos) { return macos + "/../SharedSupport/X11"; }

std::string X11ServerProgram(const std::string& x11App) {
  return "./" + x11App + "/Contents/MacOS/QVX11Server";
}

std::string X11LinkTarget(const std::string& x11App) {
  return "../MacOS/" + x11App + "/Contents/SharedSupport/X11";
}

std::string LogsFolder(const std::string& macos) { return macos + "/../Resources/Logs"; }
