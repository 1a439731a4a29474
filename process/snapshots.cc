#include "process/snapshots.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdlib>
#include <thread>

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "platform/process_state.h"
#include "platform/programs.h"
#include "platform/quit_signals.h"
#include "process/pacing.h"
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

namespace {

// FindNewPID; with liveOnly also passing over lines whose process has already ended.
std::optional<int32_t> FindNew(const std::string& progFolder, const std::string& beforeFile,
                               const std::string& afterFile, bool liveOnly) {
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
    if (liveOnly && !IsProcessRunning(pid)) continue;
    return pid;
  }
  return std::nullopt;
}

}  // namespace

std::optional<int32_t> FindNewPID(const std::string& progFolder, const std::string& beforeFile,
                                  const std::string& afterFile) {
  return FindNew(progFolder, beforeFile, afterFile, false);
}

namespace {

// WaitForNewPID; with liveOnly a new line whose process has already ended is passed over (a
// pidof can list a process that ends as it looks), so the wait goes on for the one started.
int32_t WaitForNew(const std::string& progFolder, const std::string& processName,
                   const std::string& beforeFile, const std::string& afterFile, bool liveOnly) {
  using Clock = std::chrono::steady_clock;
  using Seconds = std::chrono::duration<double>;
  const Clock::time_point start = Clock::now();
  Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(
                                      Seconds(WaitBoundSeconds()));
  bool quitNoted = false;
  double growingPause = kFirstPauseSeconds;
  double previousCost = -1;
  while (true) {
    const Clock::time_point retakeStart = Clock::now();
    const double costBefore = ProcessorSecondsUsed();
    MakePIDFile(progFolder, processName, afterFile);
    if (std::optional<int32_t> pid = FindNew(progFolder, beforeFile, afterFile, liveOnly)) {
      return *pid;
    }
    const double cost = ProcessorSecondsUsed() - costBefore;
    const Clock::time_point now = Clock::now();
    // After a quit the started process is still looked for a short while, so that the run
    // can end it rather than leave it behind.
    if (!quitNoted && QuitSignal() != 0) {
      quitNoted = true;
      end = std::min(end, now + std::chrono::duration_cast<Clock::duration>(
                                    Seconds(kQuitGraceSeconds)));
    }
    if (now >= end) return 0;
    // The pause grows so that a slow start costs few retakes, and stretches with the processor
    // time a retake costs, so that an expensive pidof still takes only a small share of a core.
    // After a quit, the short wait that is left retakes at the longest growing pause whatever a
    // retake costs: finding the server to end it matters more than the processor then.
    const double wall = Seconds(now - retakeStart).count();
    const double paced =
        quitNoted ? kLongestGrowingPauseSeconds
                  : PauseBeforeRetake(growingPause, wall, PacingCost(previousCost, cost));
    const double pause = std::min(paced, Seconds(end - now).count());
    previousCost = cost;
    // A quit signal cuts the pause short once; afterwards the pauses are kept.
    if (quitNoted) {
      std::this_thread::sleep_for(Seconds(pause));
    } else {
      PauseUnlessQuit(pause);
    }
    growingPause = GrowPause(growingPause);
  }
}

}  // namespace

int32_t WaitForNewPID(const std::string& progFolder, const std::string& processName,
                      const std::string& beforeFile, const std::string& afterFile) {
  return WaitForNew(progFolder, processName, beforeFile, afterFile, false);
}

int32_t WaitForNewLivePID(const std::string& progFolder, const std::string& processName,
                          const std::string& beforeFile, const std::string& afterFile) {
  return WaitForNew(progFolder, processName, beforeFile, afterFile, true);
}

bool IsStillOurServer(const HeldProcess& server, const std::string& progFolder) {
  if (SignalHeldProcess(server, 0) != SignalResult::kSent) return false;
  if (IsZombieProcess(server.pid)) return false;
  const std::string contents = ResolvedPath(progFolder + "/..");
  return contents.empty() || ProcessMayBelongToBundle(server.pid, contents);
}

void MonitorWineserver(const HeldProcess& server) {
  // Any failure, no such process or not permitted, means it is gone for us.
  while (SignalHeldProcess(server, 0) == SignalResult::kSent && !IsZombieProcess(server.pid)) {
    if (!PauseUnlessQuit(1)) return;
  }
}

void MonitorWineserver(int32_t pid) {
  // 0 and below would probe whole process groups, which can stay alive for good.
  if (pid <= 0) return;
  HeldProcess server = HoldProcess(static_cast<pid_t>(pid));
  MonitorWineserver(server);
  LetGoOfProcess(&server);
}
