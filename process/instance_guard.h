// The wrapper's single-instance file: the test, the claim, the release and the denial lines.
#ifndef QUILLON_PROCESS_INSTANCE_GUARD_H_
#define QUILLON_PROCESS_INSTANCE_GUARD_H_

#include <optional>
#include <string>

// What the test of the instance file found, and the claim a launcher holds once it is free.
struct InstanceState {
  bool free = true;
  std::string firstLine;  // exactly as read, without its line feed
  bool guardable = true;  // false: the instance file is no regular file, so nothing was claimed
  int lockFd = -1;        // the held claim's exclusive lock (close-on-exec); -1 when none is held
};

// Returns whether the instance file's content leaves the wrapper free, with its first line as
// read: free for no file, no regular file, an empty line, "Not Running", an ID of 0 or below, the
// caller's own ID, or an ID that cannot be signalled. This is the whole test where no lock can be had.
InstanceState IsInstanceFree(const std::string& instanceFile);

// Writes the calling process's ID into the instance file: echo "«pid»" > "«instance file»".
void WriteValnorPIDtoPidFile(const std::string& instanceFile);

// Writes "Not Running" into the instance file: echo "Not Running" > "«instance file»".
void MarkInstanceNotRunning(const std::string& instanceFile);

// Returns the test's result after testing and, when free, claiming the wrapper. The claim is an
// exclusive lock on the instance file that lives until ReleaseInstance or the launcher's end, so
// the wrapper is taken exactly while a live launcher holds it, whatever ID the file names; the
// denial waits a few seconds at most for the holder to write its ID. Not guardable when the file
// is no regular file; the file's content decides alone where no lock can be had.
InstanceState TestAndClaimInstance(const std::string& instanceFile);

// Returns whether a live launcher holds the claim's lock on the instance file: true or false, or
// nothing when that cannot be told (no file, no regular file, no locks on its file system). Probes
// with a shared lock for an instant; a launcher starting in that instant waits a little.
std::optional<bool> IsClaimHeld(const std::string& instanceFile);

// Writes "Not Running" into the instance file, then drops the claim's lock.
void ReleaseInstance(const std::string& instanceFile, InstanceState* claim);

// Drops the claim's lock, once "Not Running" has been written; nothing when none is held.
void DropClaim(InstanceState* claim);

// The launcher that a denial line speaks of.
enum class Launcher { kValnor, kBrackenfold };

// Returns the shell command that prints the launcher's denial line with firstLine as read.
std::string ComposeDenialCommand(Launcher launcher, const std::string& firstLine);

// Prints the launcher's denial line on standard output through the shell.
void PrintDenial(Launcher launcher, const std::string& firstLine);

// Returns the line that tells why the wrapper cannot be guarded and what to do about it.
std::string UnguardableMessage(Launcher launcher, const std::string& instanceFile);

// Tells why a start that TestAndClaimInstance did not find free goes no further: the denial line
// on standard output, or the unguardable line on standard error.
void ReportRefusedStart(Launcher launcher, const std::string& instanceFile,
                        const InstanceState& state);

#endif  // QUILLON_PROCESS_INSTANCE_GUARD_H_
