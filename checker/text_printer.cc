#include "checker/text_printer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

const char* ColourOf(Severity severity) {
  switch (severity) {
    case Severity::kOk: return "\033[32m";
    case Severity::kNote: return "\033[36m";
    case Severity::kWarning: return "\033[33m";
    case Severity::kError: return "\033[1;31m";
  }
  return "";
}

// Keeps a finding on its own line: line feeds, carriage returns and other control bytes in
// paths are shown as escapes.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t' || (byte >= 0x20 && byte != 0x7f)) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
      line += hex;
    }
  }
  return line;
}

}  // namespace

std::string WrapText(const std::string& text, int width, int indent) {
  if (width <= 0) return text;
  const auto limit = static_cast<std::size_t>(width);
  std::string out;
  std::size_t column = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    // Columns are counted in bytes; a multi-byte character only makes a line a little shorter.
    if (column > static_cast<std::size_t>(indent) && column + 1 + word.size() > limit) {
      out += "\n" + std::string(static_cast<std::size_t>(indent), ' ');
      column = static_cast<std::size_t>(indent);
    } else if (start > 0) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    start = end + 1;
  }
  return out;
}

std::string FormatText(const std::string& contents, const std::vector<Finding>& findings, bool colour,
                       int width) {
  std::string out = "wrapper-check: " + ShowValue(contents) + "\n";  // one line, whatever the path holds
  for (const Finding& finding : findings) {
    const std::string label = "[" + SeverityName(finding.severity) + "]";
    out += colour ? std::string(ColourOf(finding.severity)) + label + "\033[0m" : label;
    // The label's colour codes take no columns, so the wrap counts the plain label.
    const std::string line = std::string(10 - label.size(), ' ') + finding.area + ": " + OneLine(finding.text);
    out += WrapText(label + line, width, 10).substr(label.size()) + "\n";
    if (!finding.advice.empty()) out += WrapText("          -> " + OneLine(finding.advice), width, 13) + "\n";
  }
  const std::string verdict = VerdictLine(findings);
  if (colour) {
    out += std::string(CanLaunch(findings) ? "\033[1;32m" : "\033[1;31m") + verdict + "\033[0m\n";
  } else {
    out += verdict + "\n";
  }
  return out;
}

int TerminalWidth() {
  if (isatty(STDOUT_FILENO) != 1) return 0;
  struct winsize size;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_col < 40) return 80;
  return size.ws_col;
}

bool WantsColour() {
  const char* noColour = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  if (noColour != nullptr && *noColour != '\0') return false;
  if (term != nullptr && std::string(term) == "dumb") return false;
  return isatty(STDOUT_FILENO) == 1;
}
