// The end of a run that has claimed its bundle: on its ordinary way, or after a quit signal,
// when everything it started is ended before the bundle is released.
#ifndef QUILLON_ENGINE_RUN_END_H_
#define QUILLON_ENGINE_RUN_END_H_

#include <string>

#include "platform/held_process.h"
#include "process/instance_guard.h"

// What a run holds from its claim on, filled in as it starts things.
struct RunInHand {
  std::string instanceFile;  // the instance file it claimed
  std::string macos;         // the bundle's MacOS folder
  InstanceState claim;       // the claim's lock, dropped right after the release
  HeldProcess x11Server;     // from the moment its ID is learnt
  HeldProcess wineServer;    // background mode only, from the moment its ID is learnt
};

// Ends a Wine server the run started: SIGTERM, then SIGKILL when it still runs after
// kQuitGraceSeconds; each signal only while IsStillOurServer confirms it.
void EndWineserver(const HeldProcess& server, const std::string& macos);

// Ends the run after a quit signal: the Wine server it started (the engine of quick mode has
// already been ended with its command), the release with "Not Running", then the X11 server.
// Returns 128 + the signal's number, the launcher's exit status.
int EndRunOnQuit(RunInHand* run);

// Ends the run on its ordinary way: the release, then the X11 server. Returns 0, or 128 + the
// signal's number when a quit signal came in (which then changes nothing else).
int EndRun(RunInHand* run);

// Releases a run stopped by a failed check or a cancelled dialog after a quit signal; without
// one it leaves the claim in place. Returns the launcher's exit status (0, or 128 + the signal).
int EndRunUnstarted(RunInHand* run);

#endif  // QUILLON_ENGINE_RUN_END_H_
