#include "bundle/shell.h"

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

std::string QuoteForShell(const std::string& value) {
  return "\"" + EscapeForDoubleQuotes(value) + "\"";
}

int RunShellCommand(const std::string& command) {
  return std::system(command.c_str());
}
