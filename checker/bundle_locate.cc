#include "checker/bundle_locate.h"

#include <sys/stat.h>

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::optional<std::string> LocateContents(const std::string& argument, const std::string& startFolder) {
  std::string path = MakeAbsolutePath(argument, startFolder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  for (const char* suffix : {kBrackenfoldSuffix, kValnorSuffix}) {
    const std::string text = suffix;
    if (path.size() >= text.size() && path.compare(path.size() - text.size(), text.size(), text) == 0) {
      return DeriveBundlePaths(path, text)->contents;
    }
  }
  if (!IsFolder(path)) return std::nullopt;
  const std::string name = path.substr(path.rfind('/') + 1);
  if (name == "Contents") return path;
  if (IsFolder(path + "/Contents")) return path + "/Contents";
  return std::nullopt;
}

BundlePaths PathsForContents(const std::string& contents) {
  return *DeriveBundlePaths(contents + kValnorSuffix, kValnorSuffix);
}
