// Fuzzes the snapshot comparison and its number parsing: the input gives the before and the
// after snapshot; FindNewPID must pick the first after line that is new and names an ID above 0.
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "fuzz/fuzz_files.h"
#include "process/snapshots.h"

namespace {

// The low 32 bits of what strtoimax reads, as a signed number.
int32_t ExpectedPID(const std::string& line) {
  const uint64_t bits = static_cast<uint64_t>(std::strtoimax(line.c_str(), nullptr, 10));
  const uint32_t low = static_cast<uint32_t>(bits & 0xffffffffu);
  return low & 0x80000000u ? -static_cast<int32_t>(~low) - 1 : static_cast<int32_t>(low);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile beforeFile;
  const std::string& before = beforeFile.path;
  static const FuzzFile afterFile;
  const std::string& after = afterFile.path;
  if (size < 1) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  const size_t split = std::min<size_t>(data[0], input.size());
  const std::string beforeText = input.substr(0, split), afterText = input.substr(split);
  WriteFuzzFile(before, beforeText);
  WriteFuzzFile(after, afterText);

  const std::vector<std::string> beforeLines = SplitLines(beforeText);
  const std::set<std::string> old(beforeLines.begin(), beforeLines.end());
  std::optional<int32_t> expected;
  for (const std::string& line : SplitLines(afterText)) {
    if (ParsePID(line) != ExpectedPID(line)) std::abort();
    if (old.count(line) || ExpectedPID(line) <= 0) continue;
    expected = ExpectedPID(line);
    break;
  }
  // A MacOS folder that does not exist: no process is judged by its folder, only by the text.
  if (FindNewPID("/nonexistent/quillon/MacOS", before, after) != expected) std::abort();
  return 0;
}
