// The report for a terminal: one line per finding, its advice below it, then the verdict.
#ifndef QUILLON_CHECKER_TEXT_PRINTER_H_
#define QUILLON_CHECKER_TEXT_PRINTER_H_

#include <string>
#include <vector>

#include "checker/finding.h"

// Returns the report for the bundle at contents; colour adds ANSI colours to the severities, a
// width above 0 wraps each finding at blanks to that many columns (0: one line per finding).
std::string FormatText(const std::string& contents, const std::vector<Finding>& findings, bool colour,
                       int width);

// Returns text broken at blanks into lines of at most width columns (longer words stay whole),
// every line after the first indented by indent blanks; width 0 or below leaves it whole.
std::string WrapText(const std::string& text, int width, int indent);

// Returns true when the report should be coloured: stdout is a terminal and NO_COLOR is unset.
bool WantsColour();

// Returns the terminal's width in columns when stdout is a terminal, else 0.
int TerminalWidth();

#endif  // QUILLON_CHECKER_TEXT_PRINTER_H_
