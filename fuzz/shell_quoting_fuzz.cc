// Fuzzes the quoting helper against the real /bin/sh: printf hands the quoted value back, and
// it must come back byte for byte. Values with NUL bytes cannot go through a shell at all.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "bundle/shell.h"
#include "fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile outFile;
  const std::string& out = outFile.path;
  const std::string value(reinterpret_cast<const char*>(data), size);
  if (value.find('\0') != std::string::npos || size > 4096) return 0;
  RunShellCommand("printf %s " + QuoteForShell(value) + " > " + QuoteForShell(out));
  std::ifstream in(out, std::ios::binary);
  const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (back != value) std::abort();
  return 0;
}
