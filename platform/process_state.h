// What the operating system tells about a process: everything that differs between Linux and
// macOS lies behind these functions.
#ifndef QUILLON_PLATFORM_PROCESS_STATE_H_
#define QUILLON_PLATFORM_PROCESS_STATE_H_

#include <string>
#include <sys/types.h>

// Returns true when the process has ended but its parent has not reaped it yet (a zombie).
bool IsZombieProcess(pid_t pid);

// Returns true when a process with pid exists, ours to signal or not, and is no zombie.
bool IsProcessRunning(pid_t pid);

// Returns the process's working folder, or "" when it cannot be learnt.
std::string ProcessWorkingFolder(pid_t pid);

// Returns the value of name in the process's environment as it started, or "" when absent or
// when it cannot be learnt; *known tells whether the environment could be read at all.
std::string ProcessEnvironmentValue(pid_t pid, const std::string& name, bool* known);

// Returns true when a process of the group lives on (zombies do not count); false when none
// does, or when the system cannot tell.
bool ProcessGroupHasLiveMember(pid_t group);

// Returns the folder the program was started from, or "" when it cannot be learnt.
std::string CurrentWorkingFolder();

// Returns path with every link and "." or ".." resolved, or "" when it does not exist.
std::string ResolvedPath(const std::string& path);

// Returns false only when it is known that the process works for another bundle than the one
// whose Contents folder is contents: its working folder and its WINEPREFIX both lie outside it,
// or it lives but hides its working folder where our own can be learnt; true when nothing can
// be learnt (no such process, or a platform that shows no working folders).
bool ProcessMayBelongToBundle(pid_t pid, const std::string& contents);

// Returns true only when it is known that the process works for the bundle whose Contents
// folder is contents: its working folder or its WINEPREFIX lies inside that folder.
bool ProcessWorksInBundle(pid_t pid, const std::string& contents);

#endif  // QUILLON_PLATFORM_PROCESS_STATE_H_
