#include "bundle/info_plist.h"

#include <fstream>

std::string FindPlistValueLine(const std::string& path, const std::string& key) {
  const std::string keyLine = "\t<key>" + key + "</key>";
  std::ifstream in(path, std::ios::binary);
  std::string previous;
  std::string line;
  // The previous line starts empty, which is never the key line: the first line is no value line.
  while (in && std::getline(in, line)) {
    if (previous == keyLine) return line;
    previous.swap(line);
  }
  return "";
}

namespace {

// Removes frontCount characters, then the last occurrence of closing; "" when there is none.
std::string StripTags(const std::string& line, std::string::size_type frontCount,
                      const std::string& closing) {
  std::string rest = line.size() > frontCount ? line.substr(frontCount) : std::string();
  std::string::size_type at = rest.rfind(closing);
  if (at == std::string::npos) return "";
  rest.erase(at, closing.size());
  return rest;
}

}  // namespace

std::string StripPlistValue(const std::string& valueLine, const std::string& kind) {
  if (valueLine.empty()) return valueLine;
  if (kind == kStringKind) return StripTags(valueLine, 9, "</string>");
  if (kind == kBooleanKind) return StripTags(valueLine, 2, "/>");
  return valueLine;
}

std::string GetFromInfoPlist(const std::string& path, const std::string& key,
                             const std::string& kind) {
  return StripPlistValue(FindPlistValueLine(path, key), kind);
}

LaunchConfig ReadLaunchConfig(const std::string& infoPlist) {
  LaunchConfig config;
  config.cmdLine = GetFromInfoPlist(infoPlist, kCmdLineKey, kStringKind);
  config.workdir = GetFromInfoPlist(infoPlist, kWorkdirKey, kStringKind);
  config.cmdLineFlags = GetFromInfoPlist(infoPlist, kCmdLineFlagsKey, kStringKind);
  config.engineRequirement = GetFromInfoPlist(infoPlist, kEngineRequirementKey, kStringKind);
  config.quickX11KillShutdown =
      GetFromInfoPlist(infoPlist, kQuickX11KillShutdownKey, kBooleanKind);
  return config;
}
