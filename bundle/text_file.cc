#include "bundle/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

bool IsRegularFile(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::string> ReadOpenFile(int fd, std::size_t limit, bool firstLineOnly) {
  if (!IsRegularFile(fd)) return std::nullopt;
  std::string text;
  char buffer[8192];
  while (text.size() < limit) {
    const std::size_t want = std::min(sizeof(buffer), limit - text.size());
    const ssize_t got = pread(fd, buffer, want, static_cast<off_t>(text.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    if (firstLineOnly && text.find('\n', text.size() - static_cast<std::size_t>(got)) != std::string::npos) {
      break;
    }
  }
  return text;
}

namespace {

// Returns the file's text as ReadOpenFile gives it, opening path without blocking.
std::optional<std::string> ReadPath(const std::string& path, std::size_t limit, bool firstLineOnly) {
  // O_NONBLOCK: opening a FIFO for reading returns at once instead of waiting for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text = ReadOpenFile(fd, limit, firstLineOnly);
  close(fd);
  return text;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
  return ReadPath(path, limit, false);
}

std::string FirstLineOf(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string ReadFirstLine(const std::string& path) {
  return FirstLineOf(ReadPath(path, kReadLimit, true).value_or(""));
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
  return SplitLines(ReadRegularFile(path).value_or(""));
}

bool FileHasLine(const std::string& path, const std::string& line) {
  const std::string text = ReadRegularFile(path).value_or("");
  // Every line of the file is looked at, as the snapshot rules ask.
  bool found = false;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end - start == line.size() && text.compare(start, line.size(), line) == 0) found = true;
    start = end + 1;
  }
  return found;
}

bool CanOpenForReading(const std::string& path) {
  // open(2) rather than an ifstream: a folder opens for reading on every platform this way.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool CanWriteRegularFile(const std::string& path) {
  // O_NONBLOCK: a FIFO opened for writing fails at once (ENXIO) instead of waiting for a reader.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool regular = IsRegularFile(fd);
  close(fd);
  return regular;
}

bool RemoveLeftoverFile(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  // An empty folder goes too; a folder with anything in it is not ours to remove.
  if (S_ISDIR(info.st_mode)) return rmdir(path.c_str()) == 0 || errno == ENOENT;
  return unlink(path.c_str()) == 0 || errno == ENOENT;
}
