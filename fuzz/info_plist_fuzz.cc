// Fuzzes the Info.plist reader: the input gives the kind, the key and the file's content; the
// reader must agree with the line rules worked out here on the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "bundle/info_plist.h"
#include "fuzz/fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile pathFile;
  const std::string& path = pathFile.path;
  if (size < 2) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const char* kinds[] = {kStringKind, kBooleanKind, "", "String"};
  const std::string kind = kinds[static_cast<uint8_t>(input[0]) % 4];
  const size_t keyLength = std::min<size_t>(static_cast<uint8_t>(input[1]), size - 2);
  const std::string key = input.substr(2, keyLength);
  const std::string content = input.substr(2 + keyLength);
  WriteFuzzFile(path, content);

  // The value line is the line right after the first line that is exactly the key line.
  const std::vector<std::string> lines = SplitLines(content);
  const std::string keyLine = "\t<key>" + key + "</key>";
  std::string expected;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] == keyLine) {
      expected = lines[i + 1];
      break;
    }
  }
  if (FindPlistValueLine(path, key) != expected) std::abort();
  const std::string value = GetFromInfoPlist(path, key, kind);
  if (value != StripPlistValue(expected, kind)) std::abort();
  if (value.size() > expected.size()) std::abort();
  return 0;
}
