#include "checker/engine_check.h"

#include <sys/stat.h>

#include "bundle/companions.h"
#include "bundle/text_file.h"
#include "platform/programs.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::vector<Finding> CheckEngineProgram(const BundlePaths& paths) {
  const std::string wine = EngineProgramPath(paths.macos);
  if (!CanOpenForReading(wine)) {
    return {{Severity::kError, kAreaEngine,
             "the engine's start program " + wine + " is missing or cannot be read: the launchers show the missing-engine dialog and start nothing",
             "put the Wine engine into Contents/SharedSupport/Ambergate, with its start program at bin/wine"}};
  }
  if (!IsExecutableFile(wine)) {
    return {{Severity::kError, kAreaEngine,
             "the engine's start program " + wine + " is present but not an executable file: the presence check passes, but the engine command fails",
             "make it executable: chmod +x Contents/SharedSupport/Ambergate/bin/wine"}};
  }
  return {{Severity::kOk, kAreaEngine, "the engine's start program is present and executable", ""}};
}

std::vector<Finding> CheckWindowsProgram(const BundlePaths& paths, const LaunchConfig& config) {
  std::vector<Finding> findings;
  const std::string program = paths.driveC + config.cmdLine;
  if (config.cmdLine.empty()) {
    findings.push_back({Severity::kError, kAreaProgram,
                        "the program setting QVOEMCmdLine reads as empty, so the Windows program is the drive_c folder itself: the presence check passes on the folder, and the engine is asked to run a folder",
                        "set QVOEMCmdLine to the program's path below drive_c, beginning with \"/\""});
  } else if (!CanOpenForReading(program)) {
    findings.push_back({Severity::kError, kAreaProgram,
                        "the Windows program " + program + " is missing or cannot be read: the wrapper launcher shows the missing-program dialog and starts nothing",
                        "install the program below drive_c, or correct QVOEMCmdLine (it is appended to drive_c as written)"});
  } else if (IsFolder(program)) {
    findings.push_back({Severity::kError, kAreaProgram,
                        "the Windows program " + program + " is a folder: the presence check passes, but the engine cannot run it",
                        "point QVOEMCmdLine at the program file, not its folder"});
  } else {
    findings.push_back({Severity::kOk, kAreaProgram, "the Windows program " + program + " is present", ""});
  }
  const std::string workdir = paths.driveC + config.workdir;
  if (!IsFolder(workdir)) {
    findings.push_back({Severity::kError, kAreaProgram,
                        "the working folder " + workdir + " does not exist or is not a folder: the launchers hand it to the engine unchecked, and the program cannot start in it",
                        "create the folder below drive_c, or correct QVOEMWorkdir (it is appended to drive_c as written)"});
  } else {
    findings.push_back({Severity::kOk, kAreaProgram, "the working folder " + workdir + " is a folder", ""});
  }
  return findings;
}
