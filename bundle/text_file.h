// Reading text files line by line: lines end at a line feed only and nothing is trimmed. Every
// read opens without blocking and reads only regular files, within fixed bounds, so that nothing
// in a file's place (a FIFO, a folder, a device) and no file however large can hang a launcher
// or exhaust its memory.
#ifndef QUILLON_BUNDLE_TEXT_FILE_H_
#define QUILLON_BUNDLE_TEXT_FILE_H_

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The most bytes kept of one file's text or of one line: 16 MiB, far more than any real
// Info.plist, snapshot or state file.
inline constexpr std::size_t kReadLimit = std::size_t{16} << 20;

// The most bytes a line-by-line read goes through: 1 GiB, a second or so of reading.
inline constexpr std::size_t kScanLimit = std::size_t{1} << 30;

// The most lines ReadLines returns.
inline constexpr std::size_t kLineCountLimit = std::size_t{1} << 20;

// Returns true when the descriptor refers to a regular file.
bool IsRegularFile(int fd);

// Returns up to limit bytes of the open file from its start, stopping early after the first line
// feed when firstLineOnly; nothing when fd is no regular file or a read fails.
std::optional<std::string> ReadOpenFile(int fd, std::size_t limit, bool firstLineOnly);

// Returns up to limit bytes of the file at path (links followed), opened without blocking; nothing
// when it cannot be opened or is no regular file.
std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t limit = kReadLimit);

// Calls visit with each line of the regular file at path, in order, until visit returns false;
// a line longer than kReadLimit is cut to it, and reading ends after kScanLimit bytes. Memory
// stays at one line however large the file. Returns false when the file cannot be opened or is
// no regular file.
bool ScanLines(const std::string& path, const std::function<bool(const std::string&)>& visit);

// Returns the bytes of the file up to its first line feed (or to its end, cut at kReadLimit);
// "" when it cannot be opened or is no regular file.
std::string ReadFirstLine(const std::string& path);

// Returns the bytes of text up to its first line feed, or all of it when it holds none.
std::string FirstLineOf(const std::string& text);

// Returns the lines of text as files are read here: split at line feeds, a last line without
// one counts, a final line feed starts no further line.
std::vector<std::string> SplitLines(const std::string& text);

// Returns every line of the file, up to kLineCountLimit lines and kReadLimit bytes of text; a
// last line without a line feed counts, a final line feed starts no further line; no lines when
// the file cannot be opened or is no regular file.
std::vector<std::string> ReadLines(const std::string& path);

// Returns true when some line of the file (as ScanLines gives them) equals line byte for byte;
// false when it cannot be opened or is no regular file.
bool FileHasLine(const std::string& path, const std::string& line);

// Returns true when path can be opened for reading (folders and links to existing entries count).
bool CanOpenForReading(const std::string& path);

// Returns true when path is a regular file (links followed) that can be opened for writing,
// creating it empty when missing; never blocks, whatever lies there.
bool CanWriteRegularFile(const std::string& path);

// Removes what an earlier run left at path (a folder only when it is empty), so that a later
// redirection into path neither blocks on a FIFO nor writes through a link; returns true when
// nothing is left there.
bool RemoveLeftoverFile(const std::string& path);

#endif  // QUILLON_BUNDLE_TEXT_FILE_H_
