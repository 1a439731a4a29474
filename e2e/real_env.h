// Helpers for the end-to-end tests: what this machine offers for real runs, bundles built by the
// assembly tool around the sample program, and the processes that belong to such a bundle.
#ifndef QUILLON_E2E_REAL_ENV_H_
#define QUILLON_E2E_REAL_ENV_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "tests/fixture.h"

// Returns why real runs cannot happen here (no Wine, no Xvfb, no sample program), or "".
std::string MissingForRealRuns();

// Skips the test, naming what is missing, on a machine without Wine, Xvfb or the sample.
#define SKIP_WITHOUT_REAL_RUNS()                                   \
  do {                                                             \
    std::string missing = MissingForRealRuns();                    \
    if (!missing.empty()) GTEST_SKIP() << "skipped: " << missing;  \
  } while (false)

// Returns the full path of an executable called name in a folder of PATH, or "".
std::string FindExecutable(const std::string& name);

// The folder all real bundles of a test run are built in, and the one where pictures are kept.
std::string WorkFolder();
std::string ArtifactFolder();

// Returns the Wine prefix the run creates once (inside the seed bundle) and every bundle copies.
std::string SeedPrefix();

// Runs the assembly tool with words; returns its exit status and fills *output with what it printed.
int RunBundleTool(const std::vector<std::string>& words, std::string* output);

// Builds NAME.app in the work folder from the seed prefix with Xvfb and the extra words; returns
// its Contents folder, or "" (with a test failure) when the tool failed.
std::string BuildSampleBundle(const std::string& name, const std::vector<std::string>& words);

// Returns the "key: value" lines of the sample's report file.
std::map<std::string, std::string> ReadReport(const std::string& path);

// Waits up to seconds for path to exist and hold a line "DISPLAY: ..."; returns true when it does.
bool WaitForReport(const std::string& path, double seconds);

// Returns the IDs of the processes named name (as the bundle's pidof lists them) whose working
// folder or WINEPREFIX lies inside contents.
std::vector<pid_t> BundleProcesses(const std::string& contents, const std::string& name);

// Waits up to seconds until no X server and no Wine server of the bundle is left.
bool WaitForBundleServersToEnd(const std::string& contents, double seconds);

// Waits up to seconds for a window whose name holds title on display; true when it is mapped.
bool WaitForWindow(const std::string& display, const std::string& title, double seconds);

// Takes a picture of display's root window into pngFile; returns true when the file was written.
bool TakeScreenshot(const std::string& display, const std::string& pngFile);

// Returns the share of the picture's pixels that have exactly the sample window's colour.
double SampleColourShare(const std::string& pngFile);

// Starts an Xvfb of the test's own (named Xvfb, not QVX11Server) on a free display from first
// on; returns the display and sets *pid, or "" when none came up.
std::string StartTestDisplay(int first, pid_t* pid);

// Chooses path in the zenity file dialog that a launcher shows on display, as a user would:
// Ctrl+L, the path typed, Return; returns true when the dialog showed up and closed.
bool ChooseInFileDialog(const std::string& display, const std::string& path);

// Waits up to seconds for a window whose name holds title on the display of one of the
// bundle's X servers; returns that display, or "" when no such window showed up.
std::string WaitForBundleWindow(const std::string& contents, const std::string& title, double seconds);

// Presses Return in the window named title on display until it is gone, up to tries times;
// returns true when it is gone.
bool PressReturnUntilGone(const std::string& display, const std::string& title, int tries);

// Returns why the installer journey cannot run here (no 32-bit Wine, NSIS, lnkinfo, zenity,
// xdotool or 32-bit sample), or "".
std::string MissingForInstallerRuns();

// Builds the NSIS installer script in folder with makensis, next to a copy of the 32-bit sample
// named sample32.exe; returns the installer's path, or "" (with a test failure).
std::string BuildInstaller(const std::string& folder, const std::string& script,
                           const std::string& installerName);

// Expects the run's traces: both logs written, the servers gone, the wrapper released.
void ExpectCleanEnd(const std::string& contents);

// Returns the options for a launcher run as a user would start it: no stand-ins, no desktop
// display (so no dialog program is taken), a generous wait bound and time limit.
RunOptions RealLauncherRunOptions();

#endif  // QUILLON_E2E_REAL_ENV_H_
