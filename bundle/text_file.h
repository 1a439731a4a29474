// Reading text files line by line: lines end at a line feed only and nothing is trimmed.
#ifndef QUILLON_BUNDLE_TEXT_FILE_H_
#define QUILLON_BUNDLE_TEXT_FILE_H_

#include <string>
#include <vector>

// Returns the bytes of the file up to its first line feed (or to its end); "" when it cannot be opened.
std::string ReadFirstLine(const std::string& path);

// Returns the lines of text as files are read here: split at line feeds, a last line without
// one counts, a final line feed starts no further line.
std::vector<std::string> SplitLines(const std::string& text);

// Returns every line of the file; a last line without a line feed counts, a final line feed
// starts no further line; no lines when the file cannot be opened.
std::vector<std::string> ReadLines(const std::string& path);

// Returns true when some line of the file equals line byte for byte; false when it cannot be opened.
bool FileHasLine(const std::string& path, const std::string& line);

// Returns true when path can be opened for reading (folders and links to existing entries count).
bool CanOpenForReading(const std::string& path);

#endif  // QUILLON_BUNDLE_TEXT_FILE_H_
