// Fuzzes the bundle path derivation and the X11 application name cut: the input gives the
// launcher and its invocation path (or find's first line and the MacOS folder).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bundle/bundle_paths.h"
#include "display/x11_server.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string suffix = (data[0] & 1) ? kBrackenfoldSuffix : kValnorSuffix;

  std::optional<BundlePaths> paths = DeriveBundlePaths(input, suffix);
  const std::string::size_type at = input.rfind(suffix);
  if (paths.has_value() != (at != std::string::npos)) std::abort();
  if (paths) {
    // The last occurrence of the suffix is cut out; what follows it stays.
    if (paths->contents != input.substr(0, at) + input.substr(at + suffix.size())) std::abort();
    if (paths->infoPlist != paths->contents + "/Info.plist") std::abort();
    if (paths->instanceFile != paths->contents + "/.AlreadyRunningPID") std::abort();
    if (paths->driveC != paths->contents + "/SharedSupport/Ambergate/support/default/drive_c") {
      std::abort();
    }
    if (paths->macos != paths->contents + "/MacOS") std::abort();
    if (paths->tempFile != paths->macos + "/QVTempfile") std::abort();
  }
  const std::string absolute = MakeAbsolutePath(input, "/start");
  if (!input.empty() && input[0] == '/' && absolute != input) std::abort();
  if ((input.empty() || input[0] != '/') && absolute != "/start/" + input) std::abort();

  // The cut name never grows, whatever find's line and the MacOS folder hold.
  const std::string::size_type half = input.size() / 2;
  const std::string line = input.substr(0, half), macos = input.substr(half);
  if (CutX11AppName(line, macos).size() > line.size()) std::abort();
  return 0;
}
