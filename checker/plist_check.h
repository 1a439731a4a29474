// The Info.plist comparison: each launch setting as the launchers read it, beside what a real
// property-list parser reads, with the reason for every difference.
#ifndef QUILLON_CHECKER_PLIST_CHECK_H_
#define QUILLON_CHECKER_PLIST_CHECK_H_

#include <optional>
#include <string>
#include <vector>

#include "checker/finding.h"
#include "checker/plist_parser.h"

// Both readings of one setting.
struct SettingReading {
  std::string key;
  std::string kind;                   // "string" or "boolean"
  std::string launcherValue;          // what GetFromInfoPlist returns
  std::string valueLine;              // the line after the exact key line, as the reader took it
  bool keyLineFound = false;          // some line is exactly the key line
  bool parserKnown = false;           // the parser could read the file at all
  std::optional<ParsedEntry> parser;  // the parser's top-level entry, when present
};

// Returns what the launchers do with value for the setting key (which program, which mode, ...).
std::string DescribeSettingEffect(const std::string& key, const std::string& value);

// Returns the finding for one setting; lines are the file's lines, binary tells the format.
Finding CompareSetting(const SettingReading& reading, const std::vector<std::string>& lines,
                       bool binary);

// Returns the findings of the whole file: its format and line ends, then one per setting.
std::vector<Finding> CheckInfoPlistData(const std::string& infoPlist, const std::string& data);

// Returns the findings for the Info.plist at path; an error when it cannot be read.
std::vector<Finding> CheckInfoPlist(const std::string& infoPlist);

#endif  // QUILLON_CHECKER_PLIST_CHECK_H_
