#include "checker/check_bundle.h"

#include "bundle/companions.h"
#include "bundle/info_plist.h"
#include "bundle/text_file.h"
#include "checker/engine_check.h"
#include "checker/folders_check.h"
#include "checker/instance_check.h"
#include "checker/path_check.h"
#include "checker/plist_check.h"
#include "checker/x11_check.h"

namespace {

void Append(std::vector<Finding>* all, const std::vector<Finding>& more) {
  all->insert(all->end(), more.begin(), more.end());
}

}  // namespace

std::vector<Finding> CheckBundle(const BundlePaths& paths) {
  std::vector<Finding> findings;
  Append(&findings, CheckPathCharacters(paths.contents));
  findings.push_back(CheckInstance(paths.instanceFile));
  Append(&findings, CheckInfoPlist(paths.infoPlist));
  const LaunchConfig config = ReadLaunchConfig(paths.infoPlist);

  std::string x11App;
  Append(&findings, CheckMarkers(paths.macos, ListMarkers(paths.macos), &x11App));
  // Without a name the launchers stop before they use one; a server or link check would say nothing more.
  if (!x11App.empty()) {
    Append(&findings, CheckX11Server(paths.macos, x11App));
    findings.push_back(CheckX11Link(paths.macos, x11App));
  }
  Append(&findings, CheckEngineProgram(paths));
  Append(&findings, CheckWindowsProgram(paths, config));
  Append(&findings, CheckLogsAndPrograms(paths));
  Append(&findings, CheckWritableFolders(paths, !CanOpenForReading(X11LinkPath(paths.macos))));
  return findings;
}
