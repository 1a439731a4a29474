// Finding programs the way the shell does (a search of PATH), and which dialog program this
// machine offers.
#ifndef QUILLON_PLATFORM_PROGRAMS_H_
#define QUILLON_PLATFORM_PROGRAMS_H_

#include <string>

// Returns true when path names a regular file (links followed) that this process may execute.
bool IsExecutableFile(const std::string& path);

// Returns the full path of the first executable file called name in the folders of PATH (an
// empty entry is the working folder; /usr/bin:/bin when PATH is unset); a name holding "/" is
// taken as a path; "" when none is found.
std::string FindProgramOnPath(const std::string& name);

// The forms a dialog can take, in the order they are preferred.
enum class DialogForm { kOsascript, kZenity, kKdialog, kStandardError };

// Returns the first dialog form this machine offers now: /usr/bin/osascript when executable;
// zenity, then kdialog, found on PATH while DISPLAY or WAYLAND_DISPLAY is set; else standard error.
DialogForm ChooseDialogForm();

#endif  // QUILLON_PLATFORM_PROGRAMS_H_
