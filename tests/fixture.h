// A temporary wrapper bundle with stand-in companion programs that record what they received,
// and a way to run a built program in it with a hard time limit.
#ifndef QUILLON_TESTS_FIXTURE_H_
#define QUILLON_TESTS_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

#include "bundle/bundle_paths.h"
#include "bundle/info_plist.h"

// What a test bundle holds; every part can be left out to build a broken bundle.
struct TestBundleOptions {
  std::string appFolder = "Test Wrapper.app";  // below the root; may be nested or hostile
  std::string x11App = "QVX11.app";            // below MacOS; empty: no X11 application
  bool withLogs = true;                         // Contents/Resources/Logs
  bool withPidof = true;                        // the stand-in pidof in MacOS
  bool withEngine = true;                       // the stand-in engine start program
  bool withX11Link = true;                      // Contents/SharedSupport/X11 leading to the X11 app
  bool withProgram = true;                      // the Windows program below drive_c
  LaunchConfig config = {"/Program Files/Example/Example.exe", "/Program Files/Example", "",
                         "Ambergate 8", "true"};
};

// A wrapper bundle inside a fresh temporary folder.
struct TestBundle {
  std::string root;      // the temporary folder that holds everything; safe characters only
  std::string app;       // root + "/" + appFolder
  std::string contents;  // app + "/Contents"
  std::string x11App;    // the X11 application name, relative to MacOS
  std::string record;    // what the stand-ins received: «name».argv (NUL-separated), .cwd, .env, .calls
  std::string control;   // what the stand-ins are told to do (see fixture.cc)
  std::string running;   // «name».«pid» for every stand-in server that came up
  std::string bin;       // stand-in dialog programs (zenity, kdialog), for PATH
  BundlePaths paths;     // as a launcher in this bundle derives them
};

// The stand-in pidof's listing: the live, non-zombie stand-in servers registered under
// $root/running with the name $1, one decimal ID a line.
inline constexpr char kListOwnStandIns[] =
    "for f in \"$root/running/$1\".*; do\n"
    "  [ -e \"$f\" ] || continue\n"
    "  pid=${f##*.}\n"
    "  kill -0 \"$pid\" 2>/dev/null || continue\n"
    "  state=$(sed 's/.*) //' \"/proc/$pid/stat\" 2>/dev/null | cut -c1)\n"
    "  [ -n \"$state\" ] && [ \"$state\" != Z ] || continue\n"
    "  echo \"$pid\"\n"
    "done\n";

// Returns a new bundle built as options say, with stand-ins whose behaviour control/ files set.
TestBundle MakeTestBundle(const TestBundleOptions& options = TestBundleOptions());

// Kills every stand-in server the bundle started and removes its temporary folder.
void RemoveTestBundle(const TestBundle& bundle);

// Returns Info.plist text laid out one element per line, with a key for each non-empty setting.
std::string InfoPlistText(const LaunchConfig& config);

// Writes content into path, replacing the file; fails the test when it cannot.
void WriteFile(const std::string& path, const std::string& content);

// Returns the whole content of path, or "" when it cannot be read.
std::string ReadFile(const std::string& path);

// Returns true when path exists (a dangling link counts as existing).
bool PathExists(const std::string& path);

// Returns the NUL-separated words a stand-in recorded in «record»/«name».argv at its last call.
std::vector<std::string> RecordedArgs(const TestBundle& bundle, const std::string& name);

// Returns the environment a stand-in recorded at its last call.
std::map<std::string, std::string> RecordedEnv(const TestBundle& bundle, const std::string& name);

// Returns how many times a stand-in was called (lines of «record»/«name».calls).
int RecordedCalls(const TestBundle& bundle, const std::string& name);

// Returns the process IDs of stand-in servers of that name that came up and still live.
std::vector<pid_t> LiveStandIns(const TestBundle& bundle, const std::string& name);

// Waits up to seconds for a stand-in server of that name to come up; returns true when one lives.
bool WaitForStandIn(const TestBundle& bundle, const std::string& name, double seconds);

// Waits up to seconds for every stand-in server of the bundle to end; returns true when none lives.
bool WaitForStandInsToEnd(const TestBundle& bundle, double seconds);

// The environment variable naming a folder that holds Valnor and Brackenfold: the tests that run
// the launchers then run those (another build's) in place of this build's own.
inline constexpr char kLaunchersVariable[] = "QUILLON_LAUNCHERS";

// Returns the launcher program ("Valnor" or "Brackenfold") the tests run: the one in the folder
// that QUILLON_LAUNCHERS names when it is set and not empty, else this build's own.
std::string BuiltLauncher(const std::string& program);

// Copies the built launcher ("Valnor" or "Brackenfold") to its place in the bundle; returns that path.
std::string InstallLauncher(const TestBundle& bundle, const std::string& program);

// What a program run left behind.
struct RunResult {
  int exitStatus = -1;  // exit status, or -1 when it did not exit normally
  int signal = 0;       // the signal that ended it, if any
  bool timedOut = false;
  std::string out;      // its standard output
  std::string err;      // its standard error
};

// Options for RunProgram.
struct RunOptions {
  std::map<std::string, std::string> env;  // added to (or, with an empty value, replacing) the environment
  std::vector<std::string> unsetEnv;       // removed from the environment
  std::vector<std::string> args;           // words after the invocation path
  std::string workingFolder;               // "" for the test's own
  double limitSeconds = 60;                // then the whole process group is killed
  int startGateFd = -1;       // when >= 0: the child reads it to end of file before it starts
  int startGateWriteFd = -1;  // the gate's other end, closed in the child so end of file comes
  bool asNobody = false;      // the child drops to the unprivileged user nobody before it starts
};

// The unprivileged user that RunOptions.asNobody runs as.
inline constexpr uid_t kNobodyUid = 65534;
inline constexpr gid_t kNobodyGid = 65534;

// Runs program with argv0 as its invocation path and waits for it, within the limit.
RunResult RunProgram(const std::string& program, const std::string& argv0,
                     const RunOptions& options = RunOptions());

// Starts program in the background as RunProgram would; returns its process ID.
pid_t StartProgram(const std::string& program, const std::string& argv0,
                   const RunOptions& options, const std::string& outFile, const std::string& errFile);

// Waits up to seconds for a started program; fills result from its exit and its output files.
RunResult WaitProgram(pid_t pid, double seconds, const std::string& outFile,
                      const std::string& errFile);

// The environment every launcher run in a test gets: a short wait bound, the stand-in dialogs
// first on PATH, and a display so the graphical dialog forms are taken.
RunOptions LauncherRunOptions(const TestBundle& bundle);

// A test that owns a fresh default bundle.
class BundleTest : public ::testing::Test {
 protected:
  void SetUp() override { bundle = MakeTestBundle(); }
  void TearDown() override { RemoveTestBundle(bundle); }
  TestBundle bundle;
};

#endif  // QUILLON_TESTS_FIXTURE_H_
