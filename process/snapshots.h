// Process snapshots through the bundle's pidof program: the wait for a newly started process,
// and the wait for a process to end.
#ifndef QUILLON_PROCESS_SNAPSHOTS_H_
#define QUILLON_PROCESS_SNAPSHOTS_H_

#include <cstdint>
#include <optional>
#include <string>

#include "platform/held_process.h"

// Writes one snapshot of the processes named processName into outFile; returns once pidof has finished.
void MakePIDFile(const std::string& progFolder, const std::string& processName,
                 const std::string& outFile);

// Returns true when snapshots can be taken: progFolder's pidof can be run and both snapshot files
// are regular files that can be written (they are created empty when missing). Without that a started server's ID can
// never be learnt, so nothing should be started.
bool CanTakeSnapshots(const std::string& progFolder, const std::string& beforeFile,
                      const std::string& afterFile);

// Returns the number that strtoimax reads from line in base 10, narrowed to its low 32 bits.
int32_t ParsePID(const std::string& line);

// Returns the ID of the first line of afterFile that no line of beforeFile equals, passing over
// lines that give an ID of 0 or below and processes known to work outside the bundle whose
// MacOS folder is progFolder; nothing when there is none.
std::optional<int32_t> FindNewPID(const std::string& progFolder, const std::string& beforeFile,
                                  const std::string& afterFile);

// Returns the ID of a process named processName that the before snapshot lacks, retaking the
// after snapshot after a pause that grows from a few ms to 100 ms and is at least 60 times the
// processor time the last retake took; returns 0 when none showed up within WaitBoundSeconds(), or within
// kQuitGraceSeconds of a quit signal.
int32_t WaitForNewPID(const std::string& progFolder, const std::string& processName,
                      const std::string& beforeFile, const std::string& afterFile);

// Returns WaitForNewPID's result, passing over a new line whose process has already ended: the
// ID a server start goes on with, since an ended process can be neither held nor stopped.
int32_t WaitForNewLivePID(const std::string& progFolder, const std::string& processName,
                          const std::string& beforeFile, const std::string& afterFile);

// Returns true when the held server is still one that the bundle whose MacOS folder is
// progFolder started: it lives, it is no zombie, and the ownership test that the snapshots use
// does not place it in another bundle.
bool IsStillOurServer(const HeldProcess& server, const std::string& progFolder);

// Returns once no process with pid can be signalled or it has ended unreaped, probing once a
// second, or as soon as a quit signal comes in; returns at once for an ID of 0 or below.
void MonitorWineserver(int32_t pid);

// Returns once the held server has ended (or may no longer be signalled), probing once a
// second, or as soon as a quit signal comes in.
void MonitorWineserver(const HeldProcess& server);

#endif  // QUILLON_PROCESS_SNAPSHOTS_H_
