#include "bundle/bundle_paths.h"

std::optional<BundlePaths> DeriveBundlePaths(const std::string& invocationPath,
                                             const std::string& suffix) {
  std::string::size_type at = invocationPath.rfind(suffix);
  if (at == std::string::npos) return std::nullopt;
  BundlePaths paths;
  paths.contents = invocationPath;
  paths.contents.erase(at, suffix.size());
  paths.infoPlist = paths.contents + "/Info.plist";
  paths.instanceFile = paths.contents + "/.AlreadyRunningPID";
  paths.driveC = paths.contents + "/SharedSupport/Ambergate/support/default/drive_c";
  paths.macos = paths.contents + "/MacOS";
  paths.tempFile = paths.macos + "/QVTempfile";
  return paths;
}

std::string MakeAbsolutePath(const std::string& path, const std::string& startFolder) {
  if (!path.empty() && path[0] == '/') return path;
  if (startFolder.empty()) return path;
  return startFolder + "/" + path;
}

std::string NoBundleMessage(const std::string& programName, const std::string& suffix,
                            const std::string& invocationPath) {
  return programName + ": cannot find its wrapper bundle: the program must lie at <wrapper>.app/Contents" +
         suffix + " inside a wrapper bundle and be started by that path, but it was started as \"" +
         invocationPath + "\"; nothing was read or written.";
}
