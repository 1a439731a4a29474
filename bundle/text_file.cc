#include "bundle/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

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

// Returns a descriptor of the regular file at path, opened without blocking (a FIFO opened for
// reading would otherwise wait for a writer); -1 when it cannot be opened or is no regular file.
int OpenRegularFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  if (!IsRegularFile(fd)) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text = ReadOpenFile(fd, limit, false);
  close(fd);
  return text;
}

bool ScanLines(const std::string& path, const std::function<bool(const std::string&)>& visit) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return false;
  std::string line;
  bool pending = false;  // bytes of a line without its line feed yet
  std::size_t scanned = 0;
  char buffer[65536];
  bool going = true;
  while (going && scanned < kScanLimit) {
    const ssize_t got = read(fd, buffer, std::min(sizeof(buffer), kScanLimit - scanned));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    scanned += static_cast<std::size_t>(got);
    const char* at = buffer;
    const char* end = buffer + got;
    while (going && at < end) {
      const char* feed = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
      const char* stop = feed ? feed : end;
      line.append(at, std::min(static_cast<std::size_t>(stop - at), kReadLimit - line.size()));
      pending = true;
      at = stop;
      if (feed) {
        going = visit(line);
        line.clear();
        pending = false;
        ++at;
      }
    }
  }
  if (going && pending) visit(line);
  close(fd);
  return true;
}

std::string FirstLineOf(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string ReadFirstLine(const std::string& path) {
  std::string first;
  ScanLines(path, [&first](const std::string& line) {
    first = line;
    return false;
  });
  return first;
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
  std::size_t kept = 0;
  ScanLines(path, [&](const std::string& line) {
    kept += line.size() + 1;
    if (kept > kReadLimit || lines.size() >= kLineCountLimit) return false;
    lines.push_back(line);
    return true;
  });
  return lines;
}

bool FileHasLine(const std::string& path, const std::string& line) {
  bool found = false;
  // Every line of the file is looked at, as the snapshot rules ask.
  ScanLines(path, [&](const std::string& current) {
    if (current == line) found = true;
    return true;
  });
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
