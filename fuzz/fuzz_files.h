// Temporary files for the fuzz targets: each target writes its input to files of its own.
#ifndef QUILLON_FUZZ_FUZZ_FILES_H_
#define QUILLON_FUZZ_FUZZ_FILES_H_

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bundle/text_file.h"

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


#endif  // QUILLON_FUZZ_FUZZ_FILES_H_
