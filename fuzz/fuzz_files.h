// Temporary files for the fuzz targets: each target writes its input to files of its own.
#ifndef QUILLON_FUZZ_FUZZ_FILES_H_
#define QUILLON_FUZZ_FUZZ_FILES_H_

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

// A fresh, empty temporary file, removed when the fuzzer ends normally.
struct FuzzFile {
  std::string path;
  FuzzFile() {
    char pattern[] = "/tmp/quillon-fuzz.XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0) close(fd);
    path = pattern;
  }
  ~FuzzFile() { unlink(path.c_str()); }
};

// Replaces the content of path by data.
inline void WriteFuzzFile(const std::string& path, const std::string& data) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return;
  std::fwrite(data.data(), 1, data.size(), out);
  std::fclose(out);
}

// Returns the lines of text as the launchers read files: split at line feeds, a last line
// without one counts, a final line feed starts no further line.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

#endif  // QUILLON_FUZZ_FUZZ_FILES_H_
