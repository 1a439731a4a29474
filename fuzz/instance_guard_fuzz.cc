// Fuzzes the instance file's test: the input is the file's content. Probing the IDs it names
// with signal 0 is harmless.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzz_files.h"
#include "process/instance_guard.h"
#include "process/snapshots.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile pathFile;
  const std::string& path = pathFile.path;
  const std::string content(reinterpret_cast<const char*>(data), size);
  WriteFuzzFile(path, content);
  const InstanceState state = IsInstanceFree(path);
  if (state.firstLine != content.substr(0, content.find('\n'))) std::abort();
  // These never probe anything: the wrapper is free.
  if ((state.firstLine.empty() || state.firstLine == "Not Running" ||
       ParsePID(state.firstLine) <= 0) &&
      !state.free) {
    std::abort();
  }
  return 0;
}
