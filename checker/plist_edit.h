// Writing launch settings into Info.plist text in the line layout the launchers read, leaving
// every other line as it was.
#ifndef QUILLON_CHECKER_PLIST_EDIT_H_
#define QUILLON_CHECKER_PLIST_EDIT_H_

#include <string>
#include <vector>

// One setting to write: its key, its kind ("string" or "boolean") and its value ("true" or
// "false" for a boolean).
struct PlistSetting {
  std::string key;
  std::string kind;
  std::string value;
};

// The outcome of an edit: the new text, or why the file was left alone.
struct PlistEdit {
  bool done = false;
  std::string text;   // the whole new file when done
  std::string error;  // what stopped the edit when not done
};

// Returns the name of the first character in value that a value line cannot hold so that it is
// both valid XML and read as written ("a line feed", "a carriage return", "\"&\"", "\"<\"",
// "\">\""); "" when there is none.
std::string ForbiddenCharacterIn(const std::string& value);

// Returns the value line the launchers read for setting: a tab, then <string>…</string>, or
// <true/> / <false/>.
std::string ValueLineFor(const PlistSetting& setting);

// Returns text with each setting's value line replaced below its exact key line, or a key line
// and a value line added before the last "</dict>" line when the key is missing; refuses a file
// with carriage returns, a binary property list, a key the launchers cannot see, and a value
// line that does not hold one whole element.
PlistEdit SetPlistValues(const std::string& text, const std::vector<PlistSetting>& settings);

#endif  // QUILLON_CHECKER_PLIST_EDIT_H_
