// Brackenfold run as the system runs it, with the stand-in zenity as its file dialog.
#include <gtest/gtest.h>
#include <unistd.h>

#include "tests/fixture.h"
#include "tests/launch_helpers.h"

namespace {

const char kPrompt[] = "Please choose Windows\u2122 installer or setup executable";

struct BrackenfoldTest : ::testing::Test {
  void TearDown() override { RemoveTestBundle(bundle); }
  void Make(const TestBundleOptions& options) { bundle = MakeTestBundle(options); }
  // Makes the stand-in file dialog answer with text (the path and its line feed).
  void Choose(const std::string& text) { WriteFile(bundle.control + "/zenity.choice", text); }
  TestBundle bundle;
};

TEST_F(BrackenfoldTest, DeniedByALiveClaimChangesNothing) {
  Make(TestBundleOptions());
  const std::string claim = std::to_string(getpid()) + "\n";
  WriteFile(bundle.paths.instanceFile, claim);
  // This process holds the claim as a running launcher would.
  const int lock = HoldInstanceLock(bundle);
  RunResult run = RunLauncher(bundle, "Brackenfold");
  close(lock);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, BrackenfoldDenialLine(std::to_string(getpid())));
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), claim);
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 0);
}

TEST_F(BrackenfoldTest, RunsTheChosenInstallerInItsFolder) {
  const struct {
    const char* chosen;
    const char* folder;
  } cases[] = {
      {"/Users/u/Downloads/setup.exe", "/Users/u/Downloads/"},
      {"/setup.exe", "/"},
      {"/Users/u/My  Setup (x86) $HOME `id`.exe", "/Users/u/"},
      {"/Volumes/CD/abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz_setup.exe", "/Volumes/CD/"},
      {"setup.exe", ""},
  };
  for (const auto& c : cases) {
    TestBundleOptions options;
    options.config.cmdLineFlags = "-ignored";
    Make(options);
    Choose(std::string(c.chosen) + "\n");
    RunResult run = RunLauncher(bundle, "Brackenfold");
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(RecordedArgs(bundle, "zenity"),
              (std::vector<std::string>{"--file-selection", std::string("--title=") + kPrompt}));
    EXPECT_EQ(RecordedArgs(bundle, "wine"),
              (std::vector<std::string>{"--workdir", c.folder, c.chosen}))
        << c.chosen;
    EXPECT_EQ(RecordedEnv(bundle, "wine")["WINEPREFIX"],
              bundle.contents + "/SharedSupport/Ambergate/support/default");
    EXPECT_FALSE(PathExists(bundle.paths.tempFile));
    EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
    EXPECT_TRUE(WaitForStandInsToEnd(bundle, 10));
    RemoveTestBundle(bundle);
  }
  Make(TestBundleOptions());
}

TEST_F(BrackenfoldTest, CancelLaunchesNothingAndStillChecksTheEngine) {
  for (bool withEngine : {true, false}) {
    TestBundleOptions options;
    options.withEngine = withEngine;
    Make(options);
    RunResult run = RunLauncher(bundle, "Brackenfold");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.out, "");
    // The file dialog, then the missing-engine dialog when the engine is missing.
    EXPECT_EQ(RecordedCalls(bundle, "zenity"), withEngine ? 1 : 2);
    EXPECT_EQ(RecordedArgs(bundle, "zenity")[0], withEngine ? "--file-selection" : "--error");
    EXPECT_EQ(RecordedCalls(bundle, "QVX11Server"), 0);
    EXPECT_EQ(RecordedCalls(bundle, "wine"), 0);
    EXPECT_TRUE(HoldsEndedClaim(bundle));
    EXPECT_FALSE(PathExists(bundle.paths.tempFile));
    RemoveTestBundle(bundle);
  }
  Make(TestBundleOptions());
}

TEST_F(BrackenfoldTest, BackgroundModeWaitsForTheWineServer) {
  TestBundleOptions options;
  options.config.quickX11KillShutdown = "false";
  Make(options);
  WriteFile(bundle.control + "/wineserver.seconds", "2");
  Choose("/Users/u/setup.exe\n");
  auto start = std::chrono::steady_clock::now();
  RunResult run = RunLauncher(bundle, "Brackenfold");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_GE(seconds, 1.5);
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
  EXPECT_TRUE(LiveStandIns(bundle, "QVX11Server").empty());
  EXPECT_TRUE(LiveStandIns(bundle, "wineserver").empty());
}

TEST_F(BrackenfoldTest, WithoutAnyDialogItGoesOnAsAfterACancel) {
  Make(TestBundleOptions());
  RunOptions options = LauncherRunOptions(bundle);
  options.env.erase("DISPLAY");
  options.unsetEnv.push_back("DISPLAY");
  RunResult run = RunLauncher(bundle, "Brackenfold", options);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.err.find("no file dialog is available"), std::string::npos) << run.err;
  EXPECT_EQ(RecordedCalls(bundle, "zenity"), 0);
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 0);
  EXPECT_TRUE(HoldsEndedClaim(bundle));
}

// A scratch file left by an earlier run is gone before the dialog opens: a cancel, or no dialog
// program at all, runs nothing.
TEST_F(BrackenfoldTest, ALeftoverScratchFileIsNeverRun) {
  for (bool withDialog : {true, false}) {
    SCOPED_TRACE(withDialog ? "cancelled dialog" : "no dialog program");
    Make(TestBundleOptions());
    WriteFile(bundle.paths.tempFile, "/Users/u/old-setup.exe\n");
    RunOptions options = LauncherRunOptions(bundle);
    if (!withDialog) {
      options.env.erase("DISPLAY");
      options.unsetEnv.push_back("DISPLAY");
    }
    RunResult run = RunLauncher(bundle, "Brackenfold", options);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(RecordedCalls(bundle, "zenity"), withDialog ? 1 : 0);
    EXPECT_EQ(RecordedCalls(bundle, "QVX11Server"), 0);
    EXPECT_EQ(RecordedCalls(bundle, "wine"), 0);
    EXPECT_FALSE(PathExists(bundle.paths.tempFile));
    EXPECT_TRUE(HoldsEndedClaim(bundle));
    RemoveTestBundle(bundle);
  }
  Make(TestBundleOptions());
}

}  // namespace
