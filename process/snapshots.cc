#include "process/snapshots.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <thread>

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "platform/process_state.h"
#include "platform/programs.h"
#include "process/wait_bound.h"

void MakePIDFile(const std::string& progFolder, const std::string& processName,
                 const std::string& outFile) {
  RunShellCommand(ComposePidofCommand(progFolder, processName, outFile));
}

bool CanTakeSnapshots(const std::string& progFolder, const std::string& beforeFile,
                      const std::string& afterFile) {
  // Only regular files: the shell's redirection would wait for ever on a FIFO, and a link to a
  // device would be read without end.
  return IsExecutableFile(progFolder + "/pidof") && CanWriteRegularFile(beforeFile) &&
         CanWriteRegularFile(afterFile);
}

int32_t ParsePID(const std::string& line) {
  intmax_t value = std::strtoimax(line.c_str(), nullptr, 10);
  // Keep the low 32 bits; going through unsigned types keeps the narrowing well defined.
  uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(value));
  return low <= static_cast<uint32_t>(INT32_MAX)
             ? static_cast<int32_t>(low)
             : static_cast<int32_t>(static_cast<int64_t>(low) - INT64_C(4294967296));
}

std::optional<int32_t> FindNewPID(const std::string& progFolder, const std::string& beforeFile,
                                  const std::string& afterFile) {
  std::string contents = ResolvedPath(progFolder + "/..");
  for (const std::string& line : ReadLines(afterFile)) {
    // The before snapshot is read through afresh for every after line.
    if (FileHasLine(beforeFile, line)) continue;
    int32_t pid = ParsePID(line);
    // 0 and below would address process groups, not one process.
    if (pid <= 0) continue;
    if (!contents.empty() && !ProcessMayBelongToBundle(static_cast<pid_t>(pid), contents)) {
      continue;
    }
    return pid;
  }
  return std::nullopt;
}

int32_t WaitForNewPID(const std::string& progFolder, const std::string& processName,
                      const std::string& beforeFile, const std::string& afterFile) {
  using Clock = std::chrono::steady_clock;
  using Seconds = std::chrono::duration<double>;
  const Seconds bound(WaitBoundSeconds());
  const Seconds longestPause(0.1);
  Seconds pause(0.002);
  const Clock::time_point start = Clock::now();
  while (true) {
    MakePIDFile(progFolder, processName, afterFile);
    if (std::optional<int32_t> pid = FindNewPID(progFolder, beforeFile, afterFile)) return *pid;
    Seconds elapsed = Clock::now() - start;
    if (elapsed >= bound) return 0;
    // The pause grows so that a slow start costs few retakes, yet stays short enough that a
    // new process is seen soon after it shows up.
    std::this_thread::sleep_for(std::min(pause, bound - elapsed));
    pause = std::min(pause * 2, longestPause);
  }
}

void MonitorWineserver(int32_t pid) {
  // 0 and below would probe whole process groups, which can stay alive for good.
  if (pid <= 0) return;
  const pid_t process = static_cast<pid_t>(pid);
  // Any failure, no such process or not permitted, means it is gone for us.
  while (kill(process, 0) == 0 && !IsZombieProcess(process)) {
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
}
