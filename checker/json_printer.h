// The report for tools: the same findings and verdict as one JSON object.
#ifndef QUILLON_CHECKER_JSON_PRINTER_H_
#define QUILLON_CHECKER_JSON_PRINTER_H_

#include <string>
#include <vector>

#include "checker/finding.h"

// Returns text as a JSON string literal: quotes, backslashes and control bytes escaped, bytes
// that are not valid UTF-8 written as \u00XX (their Latin-1 reading), so the result is valid JSON.
std::string QuoteJson(const std::string& text);

// Returns {"bundle":…,"canLaunch":…,"verdict":…,"findings":[{"severity","area","text","advice"}…]}.
std::string FormatJson(const std::string& contents, const std::vector<Finding>& findings);

#endif  // QUILLON_CHECKER_JSON_PRINTER_H_
