#include "checker/json_printer.h"

#include <cstdio>

namespace {

// Returns the length of the valid UTF-8 sequence starting at text[at], or 0 when there is none.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

std::string Unicode(unsigned char byte) {
  char escape[8];
  std::snprintf(escape, sizeof(escape), "\\u%04X", byte);
  return escape;
}

}  // namespace

std::string QuoteJson(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte >= 0x80) {
      const std::size_t length = Utf8Length(text, at);
      if (length == 0) {
        out += Unicode(byte);
        ++at;
      } else {
        out += text.substr(at, length);
        at += length;
      }
      continue;
    }
    switch (byte) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += byte < 0x20 ? Unicode(byte) : std::string(1, static_cast<char>(byte)); break;
    }
    ++at;
  }
  return out + "\"";
}

std::string FormatJson(const std::string& contents, const std::vector<Finding>& findings) {
  std::string out = "{\n  \"bundle\": " + QuoteJson(contents) + ",\n  \"canLaunch\": " +
                    (CanLaunch(findings) ? "true" : "false") + ",\n  \"verdict\": " +
                    QuoteJson(VerdictLine(findings)) + ",\n  \"findings\": [";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const Finding& finding = findings[i];
    out += std::string(i == 0 ? "\n" : ",\n") + "    {\"severity\": " + QuoteJson(SeverityName(finding.severity)) +
           ", \"area\": " + QuoteJson(finding.area) + ", \"text\": " + QuoteJson(finding.text) +
           ", \"advice\": " + QuoteJson(finding.advice) + "}";
  }
  return out + (findings.empty() ? "]\n}\n" : "\n  ]\n}\n");
}
