#include "bundle/shell.h"

#include <cstdio>
#include <cstdlib>

std::string EscapeForDoubleQuotes(const std::string& value) {
  std::string escaped;
  escaped.reserve(value.size());
  for (char c : value) {
    if (c == '"' || c == '$' || c == '`' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string EscapeForAppleScript(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return escaped;
}

std::string QuoteForShell(const std::string& value) {
  return "\"" + EscapeForDoubleQuotes(value) + "\"";
}

int RunShellCommand(const std::string& command) {
  // The shell would get only the part before a NUL byte: a different command than the one composed.
  if (command.find('\0') != std::string::npos) {
    std::fprintf(stderr, "A command holding a NUL byte was not run: %s\n", command.c_str());
    return -1;
  }
  return std::system(command.c_str());
}
