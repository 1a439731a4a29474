// Valnor: runs the Windows program that the wrapper bundle's Info.plist names.
#include <cstdio>
#include <string>

#include "bundle/bundle_paths.h"
#include "platform/process_state.h"

int main(int, char** argv) {
  // Paths: the bundle is found from the invocation path, made absolute first.
  std::string invocation = MakeAbsolutePath(argv[0] ? argv[0] : "", CurrentWorkingFolder());
  std::optional<BundlePaths> paths = DeriveBundlePaths(invocation, kValnorSuffix);
  if (!paths) {
    std::fprintf(stderr, "%s\n", NoBundleMessage("Valnor", kValnorSuffix, argv[0] ? argv[0] : "").c_str());
    return 1;
  }
  return 0;
}
