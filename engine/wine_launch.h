// Running a Windows program under the bundle's Wine engine, in quick or background mode.
#ifndef QUILLON_ENGINE_WINE_LAUNCH_H_
#define QUILLON_ENGINE_WINE_LAUNCH_H_

#include <cstdint>
#include <string>

#include "platform/held_process.h"

// How the program path piece names the program: below the prefix's drive_c (the wrapper
// launcher) or as a full path (the installer launcher).
enum class ProgramPath { kBelowDriveC, kFullPath };

// Returns true only for the exact text "false": the engine then runs in the background.
bool IsBackgroundMode(const std::string& quickX11KillShutdown);

// Returns the engine command: the head, the program piece and the tail for the mode and flags.
std::string ComposeEngineCommand(const std::string& progFolder, const std::string& display,
                                 const std::string& workdir, const std::string& exe,
                                 const std::string& flags, bool background,
                                 ProgramPath programPath);

// Runs the engine command; in background mode returns the new Wine server's ID (0 when none
// showed up within the bound), in quick mode returns 0 once the command has returned (or has
// been ended after a quit signal). After a quit signal it starts nothing and returns 0.
int32_t StartQVwine(const std::string& progFolder, const std::string& display,
                    const std::string& workdir, const std::string& exe, const std::string& flags,
                    const std::string& quickX11KillShutdown,
                    ProgramPath programPath = ProgramPath::kBelowDriveC);

// Returns the ID of a live Wine server that works for the bundle whose MacOS folder is
// progFolder (its working folder or WINEPREFIX lies inside the bundle), from a fresh snapshot
// into the after-snapshot file; 0 when none runs.
int32_t FindBundleWineserver(const std::string& progFolder);

// Returns at once in quick mode; in background mode returns once the held Wine server has
// ended. When none showed up (pid 0), waits instead for a Wine server of this bundle that was
// already running (the engine then works with that one), and only when there is none shows the
// message that names LastWine.log. Returns as soon as a quit signal comes in.
void WaitForWineRunToEnd(const std::string& progFolder, const std::string& quickX11KillShutdown,
                         const HeldProcess& wineServer);

#endif  // QUILLON_ENGINE_WINE_LAUNCH_H_
