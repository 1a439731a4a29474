// Valnor run as the system runs it, inside fixture bundles with stand-in companions.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "bundle/text_file.h"
#include "tests/fixture.h"
#include "tests/launch_helpers.h"

namespace {

const char kMissingProgram[] =
    "Whoops! The Wrapper cannot start. Please check if the path to the Windows executable is "
    "correct.";

struct ValnorTest : ::testing::Test {
  void TearDown() override { RemoveTestBundle(bundle); }
  void Make(const TestBundleOptions& options) { bundle = MakeTestBundle(options); }
  TestBundle bundle;
};

TEST_F(ValnorTest, DeniedByALiveClaimChangesNothing) {
  Make(TestBundleOptions());
  const std::string claim = std::to_string(getpid()) + "\nsecond line\n";
  WriteFile(bundle.paths.instanceFile, claim);
  // This process holds the claim as a running launcher would.
  const int lock = HoldInstanceLock(bundle);
  RunResult run = RunLauncher(bundle, "Valnor");
  close(lock);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, ValnorDenialLine(std::to_string(getpid())));
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), claim);
  EXPECT_EQ(RecordedCalls(bundle, "pidof"), 0);
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 0);
  EXPECT_FALSE(PathExists(bundle.contents + "/.firstpidfile"));
}

TEST_F(ValnorTest, QuickModeRunsTheProgramAndCleansUp) {
  TestBundleOptions options;
  options.config.cmdLineFlags = "-windowed  -level 3";
  Make(options);
  RunResult run = RunLauncher(bundle, "Valnor");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "");
  const std::string& c = bundle.paths.driveC;
  EXPECT_EQ(RecordedArgs(bundle, "wine"),
            (std::vector<std::string>{"--workdir", c + "/Program Files/Example",
                                      c + "/Program Files/Example/Example.exe", "-windowed",
                                      "-level", "3"}));
  std::vector<std::string> x11Args = RecordedArgs(bundle, "QVX11Server");
  ASSERT_EQ(x11Args.size(), 1u);
  EXPECT_EQ(x11Args[0][0], ':');
  EXPECT_EQ(RecordedEnv(bundle, "wine")["DISPLAY"], x11Args[0]);
  EXPECT_NE(ReadFile(bundle.contents + "/Resources/Logs/LastWine.log").find("stand-in engine"),
            std::string::npos);
  EXPECT_NE(ReadFile(bundle.contents + "/Resources/Logs/LastX11.log").find(x11Args[0]),
            std::string::npos);
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
  EXPECT_FALSE(PathExists(bundle.paths.tempFile));
  // A killed server takes a moment to die.
  for (int i = 0; i < 200 && !LiveStandIns(bundle, "QVX11Server").empty(); ++i) usleep(10000);
  EXPECT_TRUE(LiveStandIns(bundle, "QVX11Server").empty());
  EXPECT_TRUE(WaitForStandInsToEnd(bundle, 10));
}

TEST_F(ValnorTest, WorkingFolderAndProgramAreJoinedToDriveC) {
  const struct {
    const char* workdir;
    const char* expected;  // below drive_c, as joined
  } cases[] = {{"/Program Files/Game", "/Program Files/Game"}, {"Game", "Game"}, {"", ""}};
  for (const auto& c : cases) {
    TestBundleOptions options;
    options.config.workdir = c.workdir;
    Make(options);
    RunResult run = RunLauncher(bundle, "Valnor");
    EXPECT_EQ(run.exitStatus, 0);
    std::vector<std::string> args = RecordedArgs(bundle, "wine");
    ASSERT_GE(args.size(), 3u) << c.workdir;
    EXPECT_EQ(args[1], bundle.paths.driveC + c.expected) << c.workdir;
    EXPECT_EQ(args.size(), 3u) << "no flags, no extra words";
    RemoveTestBundle(bundle);
  }
  Make(TestBundleOptions());
}

// While the stand-in Wine server lives, the X11 server stays up and the claim stays in place.
TEST_F(ValnorTest, BackgroundModeWaitsForTheWineServer) {
  TestBundleOptions options;
  options.config.quickX11KillShutdown = "false";
  Make(options);
  WriteFile(bundle.control + "/wineserver.seconds", "2");
  std::string path = InstallLauncher(bundle, "Valnor");
  std::string out = bundle.root + "/out", err = bundle.root + "/err";
  pid_t pid = StartProgram(path, path, LauncherRunOptions(bundle), out, err);
  ASSERT_TRUE(WaitForStandIn(bundle, "wineserver", 20));
  bool sawWineserver = false;
  while (!LiveStandIns(bundle, "wineserver").empty()) {
    sawWineserver = true;
    EXPECT_FALSE(LiveStandIns(bundle, "QVX11Server").empty());
    EXPECT_EQ(ReadFile(bundle.paths.instanceFile), std::to_string(pid) + "\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  RunResult run = WaitProgram(pid, 20, out, err);
  EXPECT_TRUE(sawWineserver);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
  EXPECT_TRUE(LiveStandIns(bundle, "QVX11Server").empty());
}

TEST_F(ValnorTest, MissingEngineOrProgramStopsWithTheClaimLeft) {
  const struct {
    bool withEngine;
    bool withProgram;
    std::string message;
  } cases[] = {
      {false, true,
       "Whoops! You don't seem to have the required Quillon Engine installed for this Quillon "
       "Port. The Engine that you're missing is the Ambergate 8 Engine."},
      {true, false, kMissingProgram},
  };
  for (const auto& c : cases) {
    TestBundleOptions options;
    options.withEngine = c.withEngine;
    options.withProgram = c.withProgram;
    Make(options);
    RunResult run = RunLauncher(bundle, "Valnor");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    std::vector<std::string> dialog = RecordedArgs(bundle, "zenity");
    ASSERT_FALSE(dialog.empty());
    EXPECT_EQ(dialog[0], "--error");
    EXPECT_NE(dialog.back().find(c.message), std::string::npos);
    EXPECT_EQ(RecordedCalls(bundle, "QVX11Server"), 0);
    EXPECT_EQ(RecordedCalls(bundle, "wine"), 0);
    EXPECT_TRUE(HoldsEndedClaim(bundle)) << ReadFile(bundle.paths.instanceFile);
    // The claim of an ended launcher does not block the next start.
    RunResult again = RunLauncher(bundle, "Valnor");
    EXPECT_EQ(again.out, "");
    EXPECT_EQ(RecordedCalls(bundle, "zenity"), 2);
    RemoveTestBundle(bundle);
  }
  Make(TestBundleOptions());
}

TEST_F(ValnorTest, RelativeInvocationPathAddressesTheBundle) {
  Make(TestBundleOptions());
  std::string path = InstallLauncher(bundle, "Valnor");
  RunOptions options = LauncherRunOptions(bundle);
  options.workingFolder = bundle.contents;
  RunResult run = RunProgram(path, "./MacOS/Valnor", options);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  std::vector<std::string> args = RecordedArgs(bundle, "wine");
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(args[2], bundle.contents + "/./SharedSupport/Ambergate/support/default/drive_c" +
                         "/Program Files/Example/Example.exe");
  EXPECT_TRUE(CanOpenForReading(args[2]));
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
}

TEST_F(ValnorTest, ServersThatNeverShowUpEndTheRunReleased) {
  const struct {
    const char* file;
    const char* value;
    const char* quick;
    const char* log;
  } cases[] = {
      {"x11", "never", "true", "LastX11.log"},
      {"x11", "exit", "true", "LastX11.log"},
      {"wineserver.seconds", "none", "false", "LastWine.log"},
  };
  for (const auto& c : cases) {
    TestBundleOptions options;
    options.config.quickX11KillShutdown = c.quick;
    Make(options);
    WriteFile(bundle.control + "/" + c.file, c.value);
    RunOptions run_options = LauncherRunOptions(bundle);
    run_options.env["QUILLON_WAIT_SECONDS"] = "1";
    RunResult run = RunLauncher(bundle, "Valnor", run_options);
    EXPECT_EQ(run.exitStatus, 0) << c.file;
    EXPECT_NE(run.err.find(c.log), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n") << c.file;
    EXPECT_TRUE(WaitForStandInsToEnd(bundle, 10)) << c.file;
    RemoveTestBundle(bundle);
  }
  Make(TestBundleOptions());
}

TEST_F(ValnorTest, NoX11ApplicationStopsBeforeAnyStart) {
  TestBundleOptions options;
  options.x11App = "";
  Make(options);
  RunResult run = RunLauncher(bundle, "Valnor");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.err.find(".X11location"), std::string::npos) << run.err;
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 0);
  EXPECT_FALSE(PathExists(bundle.paths.tempFile));
}

// A second start of either launcher while Valnor runs is denied and changes nothing.
TEST_F(ValnorTest, SecondStartWhileRunningIsDenied) {
  TestBundleOptions options;
  options.config.quickX11KillShutdown = "false";
  Make(options);
  WriteFile(bundle.control + "/wineserver.seconds", "3");
  std::string path = InstallLauncher(bundle, "Valnor");
  std::string brackenfold = InstallLauncher(bundle, "Brackenfold");
  std::string out = bundle.root + "/out", err = bundle.root + "/err";
  pid_t pid = StartProgram(path, path, LauncherRunOptions(bundle), out, err);
  ASSERT_TRUE(WaitForStandIn(bundle, "wineserver", 20));
  const std::string claim = std::to_string(pid) + "\n";
  ASSERT_EQ(ReadFile(bundle.paths.instanceFile), claim);
  RunResult second = RunProgram(path, path, LauncherRunOptions(bundle));
  EXPECT_EQ(second.exitStatus, 0);
  EXPECT_EQ(second.out, ValnorDenialLine(std::to_string(pid)));
  RunResult installer = RunProgram(brackenfold, brackenfold, LauncherRunOptions(bundle));
  EXPECT_EQ(installer.exitStatus, 0);
  EXPECT_EQ(installer.out, BrackenfoldDenialLine(std::to_string(pid)));
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), claim);
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 0);
  RunResult first = WaitProgram(pid, 30, out, err);
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 1);
}

}  // namespace
