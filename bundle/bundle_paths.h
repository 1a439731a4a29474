// Where every file of the wrapper bundle lies, derived once from a launcher's invocation path.
#ifndef QUILLON_BUNDLE_BUNDLE_PATHS_H_
#define QUILLON_BUNDLE_BUNDLE_PATHS_H_

#include <optional>
#include <string>

// The six paths a launcher derives from its own invocation path; composed as text, never normalised.
struct BundlePaths {
  std::string contents;      // the wrapper bundle's Contents folder
  std::string infoPlist;     // contents + "/Info.plist"
  std::string instanceFile;  // contents + "/.AlreadyRunningPID"
  std::string driveC;        // contents + "/SharedSupport/Ambergate/support/default/drive_c"
  std::string macos;         // contents + "/MacOS"
  std::string tempFile;      // macos + "/QVTempfile"
};

// The suffix each launcher removes from its own path to find the Contents folder.
inline constexpr char kValnorSuffix[] = "/MacOS/Valnor";
inline constexpr char kBrackenfoldSuffix[] = "/Brackenfold.app/Contents/MacOS/Brackenfold";

// Returns the paths for invocationPath with the last occurrence of suffix removed; nothing when
// the path does not hold the suffix at all.
std::optional<BundlePaths> DeriveBundlePaths(const std::string& invocationPath,
                                             const std::string& suffix);

// Returns path unchanged when it begins with "/", otherwise startFolder + "/" + path; links are
// not resolved and nothing is normalised.
std::string MakeAbsolutePath(const std::string& path, const std::string& startFolder);

// Returns the line a launcher prints when its invocation path holds no suffix: where the
// program must lie and how it was started.
std::string NoBundleMessage(const std::string& programName, const std::string& suffix,
                            const std::string& invocationPath);

#endif  // QUILLON_BUNDLE_BUNDLE_PATHS_H_
