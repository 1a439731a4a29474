// Why the launchers' line reader cannot see a setting: pure explanations from the file's lines.
#ifndef QUILLON_CHECKER_PLIST_LINES_H_
#define QUILLON_CHECKER_PLIST_LINES_H_

#include <optional>
#include <string>
#include <vector>

#include "bundle/text_file.h"

// Returns true when some line is exactly "\t<key>" + key + "</key>", the line the reader looks for.
bool HasExactKeyLine(const std::vector<std::string>& lines, const std::string& key);

// Returns why no line is the exact key line although a line names the key (a carriage return,
// blanks or several tabs in front, other text on the line, other letter case), with its line
// number; "" when no line names the key at all.
std::string ExplainMissingKeyLine(const std::vector<std::string>& lines, const std::string& key);

// Returns what in the value line makes the reader's value differ from parserValue (a carriage
// return, the indentation, a value split over lines, entities, a blank before the slash, another
// element, text after the closing tag); "" when nothing specific is seen.
std::string ExplainValueLine(const std::string& valueLine, const std::string& kind,
                             const std::optional<std::string>& parserValue);

#endif  // QUILLON_CHECKER_PLIST_LINES_H_
