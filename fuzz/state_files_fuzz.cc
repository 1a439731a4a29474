// Fuzzes the readers every state file goes through. The first byte chooses what stands at the
// path: a regular file holding the rest of the input, a FIFO, a folder or a link to /dev/zero.
// Every read returns at once; a regular file reads exactly as its text splits, anything else as
// nothing; the leftover removal always clears the path.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bundle/info_plist.h"
#include "bundle/text_file.h"
#include "fuzz/fuzz_files.h"
#include "process/instance_guard.h"

namespace {

// Returns the line after the first "\t<key>QVOEMCmdLine</key>" line of lines, or "".
std::string ExpectedValueLine(const std::vector<std::string>& lines) {
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (lines[i - 1] == "\t<key>QVOEMCmdLine</key>") return lines[i];
  }
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile pathFile;
  const std::string& path = pathFile.path;
  if (size < 1) return 0;
  const int kind = data[0] % 4;
  const std::string content(reinterpret_cast<const char*>(data) + 1, size - 1);
  unlink(path.c_str());
  rmdir(path.c_str());
  if (kind == 0) WriteFuzzFile(path, content);
  if (kind == 1 && mkfifo(path.c_str(), 0600) != 0) return 0;
  if (kind == 2 && mkdir(path.c_str(), 0700) != 0) return 0;
  if (kind == 3 && symlink("/dev/zero", path.c_str()) != 0) return 0;

  const std::vector<std::string> lines = kind == 0 ? SplitLines(content) : std::vector<std::string>();
  const std::string first = kind == 0 ? FirstLineOf(content) : "";
  if (ReadFirstLine(path) != first) std::abort();
  if (ReadLines(path) != lines) std::abort();
  if (ReadRegularFile(path).has_value() != (kind == 0)) std::abort();
  for (std::size_t i = 0; i < lines.size() && i < 8; ++i) {
    if (!FileHasLine(path, lines[i])) std::abort();
  }
  if (kind != 0 && FileHasLine(path, "")) std::abort();
  if (FindPlistValueLine(path, kCmdLineKey) != ExpectedValueLine(lines)) std::abort();
  const InstanceState state = IsInstanceFree(path);
  if (state.firstLine != first) std::abort();
  if (!RemoveLeftoverFile(path)) std::abort();
  struct stat info;
  if (lstat(path.c_str(), &info) == 0) std::abort();
  // The next run's regular file is made afresh.
  WriteFuzzFile(path, "");
  return 0;
}
