// The whole bundle check: every area's findings in the order a launcher meets them.
#ifndef QUILLON_CHECKER_CHECK_BUNDLE_H_
#define QUILLON_CHECKER_CHECK_BUNDLE_H_

#include <vector>

#include "bundle/bundle_paths.h"
#include "checker/finding.h"

// Returns the findings for the bundle at paths; reads the bundle and changes nothing in it.
std::vector<Finding> CheckBundle(const BundlePaths& paths);

#endif  // QUILLON_CHECKER_CHECK_BUNDLE_H_
