#include "checker/plist_edit.h"

#include <algorithm>

#include "bundle/info_plist.h"
#include "bundle/text_file.h"
#include "checker/finding.h"
#include "checker/plist_lines.h"

namespace {

std::string Trim(const std::string& text) {
  std::string::size_type begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool StartsWith(const std::string& text, const std::string& head) {
  return text.compare(0, head.size(), head) == 0;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Returns true when line holds one whole value element, so that replacing it keeps the XML whole.
bool HoldsOneWholeElement(const std::string& line) {
  const std::string element = Trim(line);
  if (element == "<true/>" || element == "<false/>" || element == "<string/>") return true;
  return StartsWith(element, "<string>") && EndsWith(element, "</string>") &&
         element.find("</string>") == element.size() - 9;
}

}  // namespace

std::string ForbiddenCharacterIn(const std::string& value) {
  for (char c : value) {
    if (c == '\n') return "a line feed";
    if (c == '\r') return "a carriage return";
    if (c == '&' || c == '<' || c == '>') return std::string("\"") + c + "\"";
  }
  return "";
}

std::string ValueLineFor(const PlistSetting& setting) {
  if (setting.kind == kBooleanKind) return setting.value == "false" ? "\t<false/>" : "\t<true/>";
  return "\t<string>" + setting.value + "</string>";
}

PlistEdit SetPlistValues(const std::string& text, const std::vector<PlistSetting>& settings) {
  PlistEdit edit;
  if (StartsWith(text, "bplist")) {
    edit.error = "Info.plist is a binary property list, which the launchers cannot read; convert it to XML text first (plutil -convert xml1 Info.plist)";
    return edit;
  }
  if (text.find('\r') != std::string::npos) {
    edit.error = "Info.plist has Windows line ends (carriage returns); the launchers see no setting on such lines. Save it with line feeds only (for example: sed -i 's/\\r$//' Info.plist) and run set-program again";
    return edit;
  }
  std::vector<std::string> lines = SplitLines(text);
  const bool finalLineFeed = !text.empty() && text.back() == '\n';
  for (const PlistSetting& setting : settings) {
    const std::string keyLine = "\t<key>" + setting.key + "</key>";
    auto found = std::find(lines.begin(), lines.end(), keyLine);
    if (found != lines.end()) {
      auto valueLine = found + 1;
      if (valueLine == lines.end() || !HoldsOneWholeElement(*valueLine)) {
        edit.error = "the line after the key " + setting.key + " in Info.plist is " +
                     (valueLine == lines.end() ? std::string("missing") : ShowValue(*valueLine)) +
                     ", not one whole value element on one line; mend it by hand first";
        return edit;
      }
      *valueLine = ValueLineFor(setting);
      continue;
    }
    const std::string why = ExplainMissingKeyLine(lines, setting.key);
    if (!why.empty()) {
      edit.error = "Info.plist holds the key " + setting.key + " in a form the launchers cannot read: " + why + "; mend that line first";
      return edit;
    }
    auto closing = std::find(lines.rbegin(), lines.rend(), "</dict>");
    if (closing == lines.rend()) {
      edit.error = "Info.plist has no line \"</dict>\" closing its top-level dictionary, so " + setting.key + " cannot be added";
      return edit;
    }
    auto at = closing.base() - 1;
    at = lines.insert(at, ValueLineFor(setting));
    lines.insert(at, keyLine);
  }
  for (std::size_t i = 0; i < lines.size(); ++i) {
    edit.text += lines[i];
    if (i + 1 < lines.size() || finalLineFeed) edit.text += '\n';
  }
  edit.done = true;
  return edit;
}
