// One finding of the bundle check: how bad, where, what was seen, and what to do about it.
#ifndef QUILLON_CHECKER_FINDING_H_
#define QUILLON_CHECKER_FINDING_H_

#include <string>
#include <vector>

// How much a finding matters: only an error stops the bundle from launching.
enum class Severity { kOk, kNote, kWarning, kError };

// One line of the check's report.
struct Finding {
  Severity severity = Severity::kOk;
  std::string area;    // one of the area names below
  std::string text;    // what the check saw
  std::string advice;  // what to do about it; "" when nothing needs doing
};

// The areas a finding belongs to, one per checking module.
inline constexpr char kAreaPlist[] = "Info.plist";
inline constexpr char kAreaEngine[] = "engine";
inline constexpr char kAreaProgram[] = "program";
inline constexpr char kAreaX11[] = "X11 app";
inline constexpr char kAreaFolders[] = "folders";
inline constexpr char kAreaInstance[] = "instance";
inline constexpr char kAreaPath[] = "path";

// Returns "ok", "note", "warning" or "error".
std::string SeverityName(Severity severity);

// Returns true when no finding is an error.
bool CanLaunch(const std::vector<Finding>& findings);

// Returns the closing line: whether the bundle can launch, with the count of each severity.
std::string VerdictLine(const std::vector<Finding>& findings);

// Returns text between double quotes with tabs, carriage returns, line feeds and other control
// bytes shown as \t, \r, \n and \xNN, so that every byte of a value can be seen on one line.
std::string ShowValue(const std::string& text);

#endif  // QUILLON_CHECKER_FINDING_H_
