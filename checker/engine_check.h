// The engine's start program, the Windows program and its working folder, as the launchers test them.
#ifndef QUILLON_CHECKER_ENGINE_CHECK_H_
#define QUILLON_CHECKER_ENGINE_CHECK_H_

#include <string>
#include <vector>

#include "bundle/bundle_paths.h"
#include "bundle/info_plist.h"
#include "checker/finding.h"

// Returns the findings on Contents/SharedSupport/Ambergate/bin/wine: present and executable.
std::vector<Finding> CheckEngineProgram(const BundlePaths& paths);

// Returns the findings on the Windows program (drive_c + cmdLine) and the working folder
// (drive_c + workdir), with the settings as the launchers read them.
std::vector<Finding> CheckWindowsProgram(const BundlePaths& paths, const LaunchConfig& config);

#endif  // QUILLON_CHECKER_ENGINE_CHECK_H_
