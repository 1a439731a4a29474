#include "bundle/info_plist.h"

#include "bundle/text_file.h"

std::string FindPlistValueLine(const std::string& path, const std::string& key) {
  const std::string keyLine = "\t<key>" + key + "</key>";
  // A FIFO or a device in the file's place reads as no settings; a huge file costs one line.
  std::string value;
  bool afterKey = false;
  // The first line is never a value line: no line stands before it.
  ScanLines(path, [&](const std::string& line) {
    if (afterKey) {
      value = line;
      return false;
    }
    afterKey = line == keyLine;
    return true;
  });
  return value;
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
