// Hostile bundle paths and installer file names: every character the shell treats specially.
// An injected command would create a canary file; it must never appear, and the engine must
// see the right paths.
#include <gtest/gtest.h>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const char kCanary[] = "CANARY";

class FaultsHostilePaths : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTestBundle(bundle_); }
  void Make(const TestBundleOptions& options) {
    bundle_ = MakeFaultBundle(options);
  }
  // Expects no canary in the bundle's tree, where every shell command of a run works.
  void ExpectNoCanary() {
    EXPECT_EQ(FindNamed(bundle_.root, kCanary), std::vector<std::string>{});
    EXPECT_FALSE(PathExists(std::string("/") + kCanary));
  }
  TestBundle bundle_;
};

// Folder names above Contents, each with characters that an unescaped command would act on.
const char* const kHostileFolders[] = {
    "we\"ird $(touch CANARY) `touch CANARY` \\ ; & x/W.app",
    "a\\\"; touch CANARY; echo \\\"/W.app",
    "$HOME ${PATH} $$ $1 $@ $(touch CANARY)/W.app",
    "'single' \"double\" `touch CANARY`'\"/W.app",
    "glob * ? [ab] ~ ! # %s %n | > < {a,b}/W.app",
    "  lead and trail  /\ttab\t/W.app",
    "-rf --help/W.app",
    "x/MacOS/Valnor y/Brackenfold.app/Contents/MacOS/Brackenfold z/W.app",
    "BOSS/W.app",
    "\xc3\xbc\xe2\x84\xa2 \xe2\x80\x94 unicode/W.app",
    "cr\rhere/W.app",
};

TEST_F(FaultsHostilePaths, BundleFoldersReachTheRightFiles) {
  for (const char* folder : kHostileFolders) {
    for (const char* program : {"Valnor", "Brackenfold"}) {
      for (const char* quick : {"true", "false"}) {
        SCOPED_TRACE(std::string(program) + " quick " + quick + " in " + folder);
        TestBundleOptions options;
        options.appFolder = folder;
        options.config.quickX11KillShutdown = quick;
        Make(options);
        TimedRun run = RunTimed(PlanFor(bundle_, program, 5), bundle_.root, 60);
        EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
        EXPECT_EQ(run.result.out, "");
        ExpectNoCanary();
        const std::string& c = bundle_.paths.driveC;
        const std::vector<std::string> expected =
            std::string(program) == "Valnor"
                ? std::vector<std::string>{"--workdir", c + "/Program Files/Example",
                                           c + "/Program Files/Example/Example.exe"}
                : std::vector<std::string>{"--workdir", "/Users/u/", "/Users/u/setup.exe"};
        EXPECT_EQ(RecordedArgs(bundle_, "wine"), expected);
        std::map<std::string, std::string> env = RecordedEnv(bundle_, "wine");
        EXPECT_EQ(env["WINEPREFIX"], bundle_.contents + "/SharedSupport/Ambergate/support/default");
        EXPECT_EQ(env["QV_BOTTLE_PATH"], bundle_.contents + "/SharedSupport/Ambergate/support");
        EXPECT_EQ(ReadFile(bundle_.record + "/wine.cwd"),
                  bundle_.contents + "/SharedSupport/Ambergate/bin\n");
        EXPECT_EQ(ReadFile(bundle_.record + "/QVX11Server.cwd"), bundle_.paths.macos + "\n");
        EXPECT_NE(ReadFile(bundle_.contents + "/Resources/Logs/LastWine.log").find("stand-in engine"),
                  std::string::npos);
        EXPECT_NE(ReadFile(bundle_.contents + "/Resources/Logs/LastX11.log").find("stand-in X11"),
                  std::string::npos);
        EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
        EXPECT_FALSE(PathExists(bundle_.paths.tempFile));
        EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
        RemoveTestBundle(bundle_);
        bundle_ = TestBundle();
      }
    }
  }
}

// A line feed in the bundle's path cuts find's line for the X11 marker: the launcher cannot
// name its X11 server then. It must end cleanly, with a message, and start nothing.
TEST_F(FaultsHostilePaths, LineFeedInTheBundlePath) {
  for (const char* folder : {"new\nline $(touch CANARY)/W.app", "W.app\n"}) {
    for (const char* program : {"Valnor", "Brackenfold"}) {
      SCOPED_TRACE(std::string(program) + " in " + folder);
      TestBundleOptions options;
      options.appFolder = folder;
      Make(options);
      TimedRun run = RunTimed(PlanFor(bundle_, program, 1), bundle_.root, 60);
      EXPECT_FALSE(run.result.timedOut);
      EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
      EXPECT_EQ(run.result.out, "");
      EXPECT_NE(run.result.err.find("no X11 server application was found"), std::string::npos)
          << run.result.err;
      EXPECT_LT(run.seconds, 5) << "it ends at once, without waiting for a server";
      ExpectNoCanary();
      EXPECT_EQ(RecordedCalls(bundle_, "QVX11Server"), 0);
      EXPECT_EQ(RecordedCalls(bundle_, "wine"), 0);
      EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
      EXPECT_FALSE(PathExists(bundle_.paths.tempFile));
      RemoveTestBundle(bundle_);
      bundle_ = TestBundle();
    }
  }
}

// Installer names as the file dialog returns them: the engine gets each one unchanged.
TEST_F(FaultsHostilePaths, InstallerNamesReachTheEngineUnchanged) {
  const std::string names[] = {
      "/tmp/x/we\"ird $(touch CANARY) `touch CANARY` \\ ; & x.exe",
      "/a/it's 'quoted' \"twice\".exe",
      "/a/*?[x] ~ {a,b} !!.exe",
      "/a/-rf --workdir.exe",
      "/a/\ttab\t and  two  blanks .exe ",
      " /lead/blank.exe",
      "/a/%s%n%x.exe",
      "/a/$HOME/${PATH}/$$/$(touch CANARY).exe",
      "/a/back\\\\slash\\n\\t\\\\.exe",
      "/a/|>out<in;&&||.exe",
      "/a/cr\r.exe",
      "/a/\xc3\xbc\xe2\x84\xa2\xe2\x80\x94.exe",
      "/" + std::string(3000, 'n') + "/" + std::string(200, 'e') + ".exe",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    Make(TestBundleOptions());
    WriteFile(bundle_.control + "/zenity.choice", name + "\n");
    TimedRun run = RunTimed(PlanFor(bundle_, "Brackenfold", 5), bundle_.root, 60);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_EQ(RecordedArgs(bundle_, "wine"),
              (std::vector<std::string>{"--workdir", name.substr(0, name.rfind('/') + 1), name}));
    ExpectNoCanary();
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
    RemoveTestBundle(bundle_);
    bundle_ = TestBundle();
  }
}

}  // namespace
