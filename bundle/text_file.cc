#include "bundle/text_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

std::vector<std::string> SplitLines(const std::string& text) {
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

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (in && std::getline(in, line)) lines.push_back(line);
  return lines;
}

bool FileHasLine(const std::string& path, const std::string& line) {
  std::ifstream in(path, std::ios::binary);
  std::string current;
  bool found = false;
  // The whole file is read even after a match, as the snapshot rules ask.
  while (in && std::getline(in, current)) {
    if (current == line) found = true;
  }
  return found;
}

bool CanOpenForReading(const std::string& path) {
  // open(2) rather than an ifstream: a folder opens for reading on every platform this way.
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}
