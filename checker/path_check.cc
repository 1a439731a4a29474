#include "checker/path_check.h"

namespace {

// Returns the distinct characters of text that occur in set, in the order of set.
std::string CharactersFrom(const std::string& text, const std::string& set) {
  std::string found;
  for (char c : set) {
    if (text.find(c) != std::string::npos) found += c;
  }
  return found;
}

std::string Spell(const std::string& characters) {
  std::string spelled;
  for (char c : characters) {
    spelled += spelled.empty() ? "" : " ";
    spelled += c == ' ' ? std::string("blank") : c == '\t' ? std::string("tab") : std::string(1, c);
  }
  return spelled;
}

}  // namespace

std::vector<Finding> CheckPathCharacters(const std::string& contents) {
  std::vector<Finding> findings;
  if (contents.find('\n') != std::string::npos) {
    findings.push_back({Severity::kError, kAreaPath,
                        "the bundle's path holds a line feed: find prints one path per line, so the X11 marker lookup breaks",
                        "rename the bundle (or the folder it lies in) without line feeds"});
  }
  const std::string escaped = CharactersFrom(contents, "\"$`\\");
  if (!escaped.empty()) {
    findings.push_back({Severity::kNote, kAreaPath,
                        "the bundle's path holds " + Spell(escaped) +
                            ", which the shell treats specially inside double quotes; the launchers escape them, so they work",
                        "other tools that build shell commands from the path may not escape them; a plainer name is safer"});
  }
  const std::string plain = CharactersFrom(contents, " '&;|<>()*?[]#~!{}\t");
  if (!plain.empty()) {
    findings.push_back({Severity::kOk, kAreaPath,
                        "the bundle's path holds " + Spell(plain) +
                            ", which are plain characters inside the double quotes the launchers put paths in",
                        ""});
  }
  if (findings.empty()) {
    findings.push_back({Severity::kOk, kAreaPath, "the bundle's path holds no character the shell treats specially", ""});
  }
  return findings;
}
