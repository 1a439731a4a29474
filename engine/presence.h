// The checks that the engine and the Windows program are present, and the X11 link repair.
#ifndef QUILLON_ENGINE_PRESENCE_H_
#define QUILLON_ENGINE_PRESENCE_H_

#include <string>

// Returns the command that re-creates Contents/SharedSupport/X11 as a link into the X11 app.
std::string ComposeX11LinkRepairCommand(const std::string& macos, const std::string& x11App);

// Returns true when the engine's start program can be opened, repairing the X11 link first when
// it cannot be opened; shows the missing-engine dialog and returns false otherwise.
bool IsEngineInstalled(const std::string& macos, const std::string& x11App,
                       const std::string& engineRequirement);

// Returns true when exePath can be opened; shows the missing-program dialog and returns false otherwise.
bool IsExeInstalled(const std::string& exePath);

#endif  // QUILLON_ENGINE_PRESENCE_H_
