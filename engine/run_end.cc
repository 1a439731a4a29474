#include "engine/run_end.h"

#include <signal.h>

#include <chrono>
#include <thread>

#include "display/x11_server.h"
#include "platform/quit_signals.h"
#include "process/instance_guard.h"
#include "process/snapshots.h"
#include "process/wait_bound.h"

namespace {

// Returns the launcher's exit status: 0, or 128 + the quit signal's number.
int ExitStatus() { return QuitSignal() != 0 ? 128 + QuitSignal() : 0; }

// Writes "Not Running" into the instance file; a quit signal that comes in meanwhile ends that
// command, so it is written once more then.
void Release(RunInHand* run) {
  const bool quitBefore = QuitSignal() != 0;
  MarkInstanceNotRunning(run->instanceFile);
  if (!quitBefore && QuitSignal() != 0) MarkInstanceNotRunning(run->instanceFile);
  DropClaim(&run->claim);
}

// Lets go of the servers' descriptors once they need no more signals.
void LetGoOfServers(RunInHand* run) {
  LetGoOfProcess(&run->wineServer);
  LetGoOfProcess(&run->x11Server);
}

}  // namespace

void EndWineserver(const HeldProcess& server, const std::string& macos) {
  if (!IsStillOurServer(server, macos)) return;
  SignalHeldProcess(server, SIGTERM);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = DeadlineAfter(kQuitGraceSeconds);
  while (!HasHeldProcessEnded(server) && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (IsStillOurServer(server, macos)) SignalHeldProcess(server, SIGKILL);
}

int EndRunOnQuit(RunInHand* run) {
  EndWineserver(run->wineServer, run->macos);
  MarkInstanceNotRunning(run->instanceFile);
  DropClaim(&run->claim);
  StopX11Server(run->x11Server, run->macos);
  LetGoOfServers(run);
  return ExitStatus();
}

int EndRun(RunInHand* run) {
  Release(run);
  StopX11Server(run->x11Server, run->macos);
  LetGoOfServers(run);
  return ExitStatus();
}

int EndRunUnstarted(RunInHand* run) {
  if (QuitSignal() == 0) return 0;
  return EndRunOnQuit(run);
}
