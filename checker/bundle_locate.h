// Turning the argument of the check (a bundle, its Contents folder, or a launcher inside it)
// into the paths the launchers derive.
#ifndef QUILLON_CHECKER_BUNDLE_LOCATE_H_
#define QUILLON_CHECKER_BUNDLE_LOCATE_H_

#include <optional>
#include <string>

#include "bundle/bundle_paths.h"

// Returns the Contents folder that argument names, made absolute against startFolder as the
// launchers do: a path holding a launcher's suffix, a folder named Contents, or a folder that
// holds a Contents folder; nothing when it names none of these.
std::optional<std::string> LocateContents(const std::string& argument, const std::string& startFolder);

// Returns the paths the wrapper launcher derives for the Contents folder contents.
BundlePaths PathsForContents(const std::string& contents);

#endif  // QUILLON_CHECKER_BUNDLE_LOCATE_H_
