// What a real property-list parser (libplist: XML and binary) reads from Info.plist.
#ifndef QUILLON_CHECKER_PLIST_PARSER_H_
#define QUILLON_CHECKER_PLIST_PARSER_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

// One top-level entry as the parser reads it.
struct ParsedEntry {
  std::string element;  // "string", "boolean", "integer", "dict", ...
  std::string text;     // the value as text; booleans as "true" or "false"; "" for containers
};

// The parser's reading of a whole property list.
struct ParsedPlist {
  bool readable = false;  // the data is a property list whose top level is a dictionary
  bool binary = false;    // stored in the binary format
  std::map<std::string, ParsedEntry> entries;  // the top-level entries asked for that are present
};

// Returns what the parser reads from data for each of keys at the top level.
ParsedPlist ParsePlist(const std::string& data, const std::vector<std::string>& keys);

#endif  // QUILLON_CHECKER_PLIST_PARSER_H_
