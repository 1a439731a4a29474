// Brackenfold: asks for a Windows installer and runs it in the wrapper bundle around it.
#include <cstdio>
#include <string>

#include "bundle/bundle_paths.h"
#include "platform/process_state.h"

int main(int, char** argv) {
  // Paths: the bundle is found from the invocation path, made absolute first.
  std::string invocation = MakeAbsolutePath(argv[0] ? argv[0] : "", CurrentWorkingFolder());
  std::optional<BundlePaths> paths = DeriveBundlePaths(invocation, kBrackenfoldSuffix);
  if (!paths) {
    std::fprintf(stderr, "%s\n",
                 NoBundleMessage("Brackenfold", kBrackenfoldSuffix, argv[0] ? argv[0] : "").c_str());
    return 1;
  }
  return 0;
}
