// Process snapshots through the bundle's pidof program: the wait for a newly started process,
// and the wait for a process to end.
#ifndef QUILLON_PROCESS_SNAPSHOTS_H_
#define QUILLON_PROCESS_SNAPSHOTS_H_

#include <cstdint>
#include <optional>
#include <string>

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
// after snapshot with a growing pause (a few ms up to 100 ms); returns 0 when none showed up
// within WaitBoundSeconds().
int32_t WaitForNewPID(const std::string& progFolder, const std::string& processName,
                      const std::string& beforeFile, const std::string& afterFile);

// Returns once no process with pid can be signalled or it has ended unreaped, probing once a
// second; returns at once for an ID of 0 or below.
void MonitorWineserver(int32_t pid);

#endif  // QUILLON_PROCESS_SNAPSHOTS_H_
