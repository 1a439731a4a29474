#include "checker/finding.h"

#include <cstdio>

std::string SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kOk: return "ok";
    case Severity::kNote: return "note";
    case Severity::kWarning: return "warning";
    case Severity::kError: return "error";
  }
  return "error";
}

bool CanLaunch(const std::vector<Finding>& findings) {
  for (const Finding& finding : findings) {
    if (finding.severity == Severity::kError) return false;
  }
  return true;
}

std::string VerdictLine(const std::vector<Finding>& findings) {
  int counts[4] = {0, 0, 0, 0};
  for (const Finding& finding : findings) ++counts[static_cast<int>(finding.severity)];
  auto count = [](int n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
  };
  const std::string tally =
      count(counts[3], "error") + ", " + count(counts[2], "warning") + ", " + count(counts[1], "note");
  return CanLaunch(findings) ? "verdict: the bundle can launch (" + tally + ")"
                             : "verdict: the bundle cannot launch (" + tally + ")";
}

std::string ShowValue(const std::string& text) {
  std::string shown = "\"";
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (byte < 0x20 || byte == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
      shown += hex;
    } else {
      shown += c;
    }
  }
  return shown + "\"";
}
