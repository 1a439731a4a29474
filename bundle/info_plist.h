// The Info.plist line reader and the five launch settings it yields.
#ifndef QUILLON_BUNDLE_INFO_PLIST_H_
#define QUILLON_BUNDLE_INFO_PLIST_H_

#include <string>

// The keys of the five launch settings, as they stand in Info.plist.
inline constexpr char kCmdLineKey[] = "QVOEMCmdLine";
inline constexpr char kWorkdirKey[] = "QVOEMWorkdir";
inline constexpr char kCmdLineFlagsKey[] = "QVOEMCmdLineFlags";
inline constexpr char kEngineRequirementKey[] = "Quillon Engine Requirement";
inline constexpr char kQuickX11KillShutdownKey[] = "Quick X11 Kill Shutdown";

// The kinds GetFromInfoPlist strips for (PlistValueKind).
inline constexpr char kStringKind[] = "string";
inline constexpr char kBooleanKind[] = "boolean";

// The five launch settings, each empty when its key is missing.
struct LaunchConfig {
  std::string cmdLine;
  std::string workdir;
  std::string cmdLineFlags;
  std::string engineRequirement;
  std::string quickX11KillShutdown;
};

// Returns the line after the first line that is exactly "\t<key>" + key + "</key>", as ScanLines
// reads them; "" when the file cannot be opened, is no regular file, holds no such line, or it
// is the last line.
std::string FindPlistValueLine(const std::string& path, const std::string& key);

// Returns valueLine with the element's tags removed by fixed counts for kind; "" when the closing
// text is missing; any other kind returns the line unchanged.
std::string StripPlistValue(const std::string& valueLine, const std::string& kind);

// Returns the value of key in the property list at path, stripped for kind; "" when absent.
std::string GetFromInfoPlist(const std::string& path, const std::string& key,
                             const std::string& kind);

// Returns all five settings, read one call per key in the wrapper launcher's order.
LaunchConfig ReadLaunchConfig(const std::string& infoPlist);

#endif  // QUILLON_BUNDLE_INFO_PLIST_H_
