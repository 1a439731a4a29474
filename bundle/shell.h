// The quoting helpers for shell command lines (and the AppleScript strings inside them), and the
// one way a command line is run.
#ifndef QUILLON_BUNDLE_SHELL_H_
#define QUILLON_BUNDLE_SHELL_H_

#include <string>

// Returns value with the four characters that stay special inside double quotes (the double
// quote, the dollar sign, the backquote and the backslash) each preceded by a backslash; any
// other value comes back byte for byte.
std::string EscapeForDoubleQuotes(const std::string& value);

// Returns text with each backslash and double quote preceded by a backslash, as the inside of
// an AppleScript string literal needs them.
std::string EscapeForAppleScript(const std::string& text);

// Returns value between double quotes, escaped so that /bin/sh reads it back unchanged as one word.
std::string QuoteForShell(const std::string& value);

// Runs command through its own /bin/sh -c in a process group of its own and returns once the
// shell has finished, with the shell's wait status (as system() gives it; -1 when it could not
// start). When a quit signal comes in while it runs, the group (the shell and what it started
// in the foreground or background) gets SIGTERM, then SIGKILL after kQuitGraceSeconds if any
// of it lives on. A command started after a quit signal (the clean-up) runs normally.
// A command holding a NUL byte is not run (the shell would see only its start): says so on
// standard error and returns -1.
int RunShellCommand(const std::string& command);

#endif  // QUILLON_BUNDLE_SHELL_H_
