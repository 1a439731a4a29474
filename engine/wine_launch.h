// Running a Windows program under the bundle's Wine engine, in quick or background mode.
#ifndef QUILLON_ENGINE_WINE_LAUNCH_H_
#define QUILLON_ENGINE_WINE_LAUNCH_H_

#include <cstdint>
#include <string>

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
// showed up within the bound), in quick mode returns 0 once the command has returned.
int32_t StartQVwine(const std::string& progFolder, const std::string& display,
                    const std::string& workdir, const std::string& exe, const std::string& flags,
                    const std::string& quickX11KillShutdown,
                    ProgramPath programPath = ProgramPath::kBelowDriveC);

// Returns at once in quick mode; in background mode returns once the Wine server winePid has
// ended, or at once after the message that names LastWine.log when none showed up (winePid 0).
void WaitForWineRunToEnd(const std::string& progFolder, const std::string& quickX11KillShutdown,
                         int32_t winePid);

#endif  // QUILLON_ENGINE_WINE_LAUNCH_H_
