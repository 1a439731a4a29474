#include "checker/plist_lines.h"

#include <algorithm>
#include <cctype>

#include "bundle/info_plist.h"
#include "checker/finding.h"

namespace {

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
  return text;
}

// Describes the whitespace in front of a line when it is not exactly one tab; "" when it is.
std::string DescribeIndent(const std::string& line) {
  std::string::size_type end = line.find_first_not_of(" \t");
  const std::string indent = line.substr(0, end == std::string::npos ? line.size() : end);
  if (indent == "\t") return "";
  if (indent.empty()) return "it is not indented (the reader wants exactly one tab in front)";
  const auto tabs = std::count(indent.begin(), indent.end(), '\t');
  if (tabs == 0) return "it is indented by blanks instead of one tab";
  if (tabs == static_cast<long>(indent.size())) {
    return "it is indented by " + std::to_string(tabs) +
           " tabs: an entry of a nested dictionary, or deeper indentation than the reader takes";
  }
  return "it is indented by a mix of tabs and blanks instead of one tab";
}

bool EndsWithCarriageReturn(const std::string& line) {
  return !line.empty() && line.back() == '\r';
}

// Returns true when text holds an entity or character reference such as &amp; or &#38;.
bool HasEntity(const std::string& text) {
  for (std::string::size_type at = text.find('&'); at != std::string::npos;
       at = text.find('&', at + 1)) {
    std::string::size_type semicolon = text.find(';', at);
    if (semicolon != std::string::npos && semicolon - at >= 2 && semicolon - at <= 10) return true;
  }
  return false;
}

std::string Trim(const std::string& text) {
  std::string::size_type begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  std::string::size_type end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

}  // namespace


bool HasExactKeyLine(const std::vector<std::string>& lines, const std::string& key) {
  return std::find(lines.begin(), lines.end(), "\t<key>" + key + "</key>") != lines.end();
}

std::string ExplainMissingKeyLine(const std::vector<std::string>& lines, const std::string& key) {
  const std::string tag = "<key>" + key + "</key>";
  const std::string lowerTag = LowerCase(tag);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::string where = "line " + std::to_string(i + 1) + " " + ShowValue(line) + " names the key, but ";
    if (line.find(tag) == std::string::npos) {
      if (LowerCase(line).find(lowerTag) != std::string::npos) {
        return where + "in other letter case; keys are compared exactly";
      }
      continue;
    }
    std::string indent = DescribeIndent(line);
    if (!indent.empty()) return where + indent;
    if (line.compare(1, tag.size(), tag) != 0) return where + "other text stands before the key";
    const std::string rest = line.substr(1 + tag.size());
    if (rest == "\r") return where + "it ends in a carriage return (Windows line ends)";
    if (Trim(rest).empty()) return where + "blanks follow the closing </key>";
    return where + "other text shares its line (the reader wants the key alone on its line and the value on the next)";
  }
  return "";
}

std::string ExplainValueLine(const std::string& valueLine, const std::string& kind,
                             const std::optional<std::string>& parserValue) {
  std::vector<std::string> causes;
  const std::string trimmed = Trim(valueLine);
  if (valueLine.empty()) causes.push_back("the line after the key is empty");
  if (EndsWithCarriageReturn(valueLine)) {
    causes.push_back("the value line ends in a carriage return, which stays at the end of the value");
  }
  if (!valueLine.empty()) {
    std::string indent = DescribeIndent(valueLine);
    if (!indent.empty()) causes.push_back("on the value line " + indent + "; the reader cuts a fixed number of characters in front");
  }
  if (trimmed.compare(0, 5, "<key>") == 0) {
    causes.push_back("the key has no value: the next line is another key");
  } else if (kind == kStringKind) {
    if (trimmed.compare(0, 8, "<string>") != 0 && !trimmed.empty()) {
      causes.push_back("the value is not a <string> element");
    } else if (valueLine.find("</string>") == std::string::npos && !trimmed.empty()) {
      if (parserValue && parserValue->find('\n') != std::string::npos) {
        causes.push_back("the value is split over several lines; the reader takes only the line after the key");
      } else {
        causes.push_back("the closing </string> is not on the value line");
      }
    } else if (trimmed.size() >= 9 && trimmed.compare(trimmed.size() - 9, 9, "</string>") != 0) {
      causes.push_back("text follows the closing </string>");
    }
  } else if (kind == kBooleanKind) {
    if (trimmed == "<true />" || trimmed == "<false />") {
      causes.push_back("a blank stands before the slash, and stays at the end of the value");
    } else if (trimmed.compare(0, 8, "<string>") == 0) {
      causes.push_back("a <string> element stands where a boolean (<true/> or <false/>) belongs");
    } else if (trimmed != "<true/>" && trimmed != "<false/>" && !trimmed.empty()) {
      causes.push_back("the value is not written <true/> or <false/>");
    }
  }
  if (HasEntity(valueLine)) {
    causes.push_back("it holds entity or character references (such as &amp;), which the launchers pass on as written");
  }
  std::string joined;
  for (const std::string& cause : causes) joined += (joined.empty() ? "" : "; ") + cause;
  return joined;
}
