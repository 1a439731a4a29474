// Where the bundle's three companion programs lie, how the pidof program is invoked, and the
// process names and bundle files that go with them.
#ifndef QUILLON_BUNDLE_COMPANIONS_H_
#define QUILLON_BUNDLE_COMPANIONS_H_

#include <string>

// The process names under which the pidof program lists the two servers.
inline constexpr char kWineserverProcessName[] = "wineserver";
inline constexpr char kX11ServerProcessName[] = "QVX11Server";

// The marker file that lies directly inside the X11 server's application folder.
inline constexpr char kX11MarkerName[] = ".X11location";

// Returns macos + "/../.firstpidfile", the snapshot taken before a start.
std::string BeforeSnapshotFile(const std::string& macos);

// Returns macos + "/../.secondpidfile", the snapshot retaken after a start.
std::string AfterSnapshotFile(const std::string& macos);

// Returns the pidof command that writes a snapshot of processName into outFile.
std::string ComposePidofCommand(const std::string& macos, const std::string& processName,
                                const std::string& outFile);

// Returns the command that removes the scratch file: "rm \"«scratch file»\"".
std::string ComposeRemoveScratchFileCommand(const std::string& scratchFile);

// Returns macos + "/../SharedSupport/Ambergate/bin/wine", the engine's start program.
std::string EngineProgramPath(const std::string& macos);

// Returns macos + "/../SharedSupport/X11", the engine's link to the X11 libraries.
std::string X11LinkPath(const std::string& macos);

// Returns the X11 server program relative to the MacOS folder: "./" + x11App + "/Contents/MacOS/QVX11Server".
std::string X11ServerProgram(const std::string& x11App);

// Returns the X11 link's relative target: "../MacOS/" + x11App + "/Contents/SharedSupport/X11".
std::string X11LinkTarget(const std::string& x11App);

// Returns macos + "/../Resources/Logs", the folder both logs are written into.
std::string LogsFolder(const std::string& macos);

#endif  // QUILLON_BUNDLE_COMPANIONS_H_
