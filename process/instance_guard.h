// The wrapper's single-instance file: the test, the claim, the release and the denial lines.
#ifndef QUILLON_PROCESS_INSTANCE_GUARD_H_
#define QUILLON_PROCESS_INSTANCE_GUARD_H_

#include <string>

// What the test of the instance file found.
struct InstanceState {
  bool free = true;
  std::string firstLine;  // exactly as read, without its line feed
};

// Returns whether the wrapper is free, with the instance file's first line as read: free for no
// file, an empty line, "Not Running", an ID of 0 or below, or an ID that cannot be signalled.
InstanceState IsInstanceFree(const std::string& instanceFile);

// Writes the calling process's ID into the instance file: echo "«pid»" > "«instance file»".
void WriteValnorPIDtoPidFile(const std::string& instanceFile);

// Writes "Not Running" into the instance file: echo "Not Running" > "«instance file»".
void MarkInstanceNotRunning(const std::string& instanceFile);

// Returns the test's result after testing and, when free, claiming the wrapper as one step under
// an exclusive lock on the instance file, so that of two launchers started together one proceeds.
InstanceState TestAndClaimInstance(const std::string& instanceFile);

// The launcher that a denial line speaks of.
enum class Launcher { kValnor, kBrackenfold };

// Returns the shell command that prints the launcher's denial line with firstLine as read.
std::string ComposeDenialCommand(Launcher launcher, const std::string& firstLine);

// Prints the launcher's denial line on standard output through the shell.
void PrintDenial(Launcher launcher, const std::string& firstLine);

#endif  // QUILLON_PROCESS_INSTANCE_GUARD_H_
