// The folders and small programs the launchers rely on: the Logs folder, the pidof program, the
// wrapper launcher itself, and the folders the user must be able to write.
#ifndef QUILLON_CHECKER_FOLDERS_CHECK_H_
#define QUILLON_CHECKER_FOLDERS_CHECK_H_

#include <string>
#include <vector>

#include "bundle/bundle_paths.h"
#include "checker/finding.h"

// Returns the findings on Resources/Logs, MacOS/pidof and MacOS/Valnor.
std::vector<Finding> CheckLogsAndPrograms(const BundlePaths& paths);

// Returns the findings on writing Contents, MacOS and SharedSupport; linkNeedsRepair says
// whether the launcher will have to make the X11 link in SharedSupport.
std::vector<Finding> CheckWritableFolders(const BundlePaths& paths, bool linkNeedsRepair);

#endif  // QUILLON_CHECKER_FOLDERS_CHECK_H_
