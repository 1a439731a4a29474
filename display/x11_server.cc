#include "display/x11_server.h"

#include <signal.h>

#include <cstdlib>
#include <ctime>

#include "bundle/companions.h"
#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "platform/process_state.h"
#include "platform/quit_signals.h"
#include "process/snapshots.h"

std::string ComposeFindMarkerCommand(const std::string& macos, const std::string& scratchFile) {
  return "/usr/bin/find " + QuoteForShell(macos) + " -name " + kX11MarkerName + " > " +
         QuoteForShell(scratchFile);
}

std::string CutX11AppName(const std::string& firstLine, const std::string& macos) {
  std::string name = firstLine;
  std::string::size_type lastSlash = name.rfind('/');
  if (lastSlash != std::string::npos) name.erase(lastSlash);
  std::string::size_type at = name.find(macos);
  if (at != std::string::npos) name.erase(at, macos.size() + 1);
  return name;
}

std::string GetQVX11AppName(const std::string& macos) {
  const std::string scratchFile = macos + "/QVTempfile";
  // A leftover FIFO would keep find's redirection waiting for ever.
  RemoveLeftoverFile(scratchFile);
  RunShellCommand(ComposeFindMarkerCommand(macos, scratchFile));
  const std::string firstLine = ReadFirstLine(scratchFile);
  RunShellCommand(ComposeRemoveScratchFileCommand(scratchFile));
  const std::string name = CutX11AppName(firstLine, macos);
  // A line feed in a path cuts find's line short; a name whose marker is not there is no name.
  if (name.empty() || !CanOpenForReading(macos + "/" + name + "/" + kX11MarkerName)) return "";
  return name;
}

std::string DisplayForRandomValue(int r) {
  // r * 100 wraps in 32 bits: multiply unsigned, then read the bits back as two's complement.
  const uint32_t bits = static_cast<uint32_t>(r) * 100u;
  int64_t wide = bits;
  if (wide > INT32_MAX) wide -= int64_t{1} << 32;
  const int32_t p = static_cast<int32_t>(wide);
  int32_t n = p / 300000 + 2;
  if (n < 0) n = -n;
  if (n <= 4) n += 5;
  return ":" + std::to_string(n);
}

std::string SetDisplay() {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  return DisplayForRandomValue(std::rand());
}

std::string ComposeX11StartCommand(const std::string& macos, const std::string& x11App,
                                   const std::string& display) {
  return "export VERSIONER_PERL_PREFER_32_BIT=yes; PROGFOLD=" + QuoteForShell(macos) +
         "; RESOFOLD=\"${PROGFOLD%/*S}/Resources\"; cd \"$PROGFOLD\"; " +
         QuoteForShell(X11ServerProgram(x11App)) + " " + display +
         " > \"/$RESOFOLD/Logs/LastX11.log\" 2>&1 &";
}

int32_t StartQVX11(const std::string& macos, const std::string& x11App,
                   const std::string& display) {
  const std::string before = BeforeSnapshotFile(macos);
  const std::string after = AfterSnapshotFile(macos);
  // A server whose ID the snapshots cannot reveal could never be stopped: do not start it.
  if (!CanTakeSnapshots(macos, before, after)) return 0;
  MakePIDFile(macos, kX11ServerProcessName, before);
  // After a quit signal nothing more is started.
  if (QuitSignal() != 0) return 0;
  RunShellCommand(ComposeX11StartCommand(macos, x11App, display));
  return WaitForNewLivePID(macos, kX11ServerProcessName, before, after);
}

void StopX11Server(const HeldProcess& server, const std::string& macos) {
  if (IsStillOurServer(server, macos)) SignalHeldProcess(server, SIGKILL);
}
