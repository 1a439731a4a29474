#include "checker/folders_check.h"

#include <sys/stat.h>
#include <unistd.h>

#include "bundle/companions.h"
#include "platform/programs.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsWritable(const std::string& path) { return access(path.c_str(), W_OK) == 0; }

}  // namespace

std::vector<Finding> CheckLogsAndPrograms(const BundlePaths& paths) {
  std::vector<Finding> findings;
  const std::string logs = LogsFolder(paths.macos);
  if (!IsFolder(logs)) {
    findings.push_back({Severity::kError, kAreaFolders,
                        "Contents/Resources/Logs is missing: the shell refuses the log redirection and never starts the X11 server",
                        "create the folder: mkdir -p Contents/Resources/Logs"});
  } else if (!IsWritable(logs)) {
    findings.push_back({Severity::kError, kAreaFolders,
                        "Contents/Resources/Logs cannot be written: the shell cannot create the logs and never starts the X11 server or the engine",
                        "give the user write access: chmod u+w Contents/Resources/Logs"});
  } else {
    findings.push_back({Severity::kOk, kAreaFolders, "Contents/Resources/Logs is a writable folder", ""});
  }
  const std::string pidof = paths.macos + "/pidof";
  if (!IsExecutableFile(pidof)) {
    findings.push_back({Severity::kError, kAreaFolders,
                        "the pidof program Contents/MacOS/pidof is missing or not executable: the launchers never learn the servers' process IDs",
                        "put the pidof program into Contents/MacOS and make it executable"});
  } else {
    findings.push_back({Severity::kOk, kAreaFolders, "the pidof program is executable", ""});
  }
  const std::string launcher = paths.macos + "/Valnor";
  if (!IsExecutableFile(launcher)) {
    findings.push_back({Severity::kError, kAreaFolders,
                        "the wrapper launcher Contents/MacOS/Valnor is missing or not executable: nothing runs when the wrapper is opened",
                        "put the Valnor program into Contents/MacOS and make it executable"});
  } else {
    findings.push_back({Severity::kOk, kAreaFolders, "the wrapper launcher Contents/MacOS/Valnor is executable", ""});
  }
  return findings;
}

std::vector<Finding> CheckWritableFolders(const BundlePaths& paths, bool linkNeedsRepair) {
  std::vector<Finding> findings;
  struct Folder {
    std::string path;
    std::string name;
    std::string why;
    bool needed;
  };
  const Folder folders[] = {
      {paths.contents, "Contents", "the instance file and the snapshot files are created there", true},
      {paths.macos, "Contents/MacOS", "find's scratch file is created there", true},
      {paths.contents + "/SharedSupport", "Contents/SharedSupport", "the X11 link is re-created there", linkNeedsRepair},
  };
  for (const Folder& folder : folders) {
    if (IsWritable(folder.path)) {
      findings.push_back({Severity::kOk, kAreaFolders, folder.name + " is writable", ""});
    } else if (folder.needed) {
      findings.push_back({Severity::kError, kAreaFolders,
                          folder.name + " cannot be written by this user: " + folder.why,
                          "give the user write access: chmod u+w \"" + folder.path + "\""});
    } else {
      findings.push_back({Severity::kNote, kAreaFolders,
                          folder.name + " cannot be written by this user; that matters only when " + folder.why,
                          ""});
    }
  }
  return findings;
}
