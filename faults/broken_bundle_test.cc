// Broken bundles: servers that never come up, missing parts, a looping X11 link and a Contents
// folder the user may not write. Each run ends within its bound, with exit status 0, a message
// and no process of its own left.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const double kBound = 1;       // QUILLON_WAIT_SECONDS in the cases that wait for it
const double kSlack = 8;       // what a run may take beyond its bound on a loaded machine

struct BrokenCase {
  const char* name;
  const char* program;
  const char* quick;
  std::function<void(TestBundleOptions&)> shape;  // the bundle's fault, before it is made
  std::function<void(const TestBundle&)> spoil;   // the bundle's fault, after it is made
  const char* message;     // a text standard error must hold
  const char* instance;    // what the instance file must hold: "released" or "claimed"
  bool engineRuns;         // whether the engine stand-in is called
};

class FaultsBrokenBundle : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTestBundle(bundle_); }
  void RunCase(const BrokenCase& c) {
    SCOPED_TRACE(std::string(c.name) + " / " + c.program + " / quick " + c.quick);
    TestBundleOptions options;
    options.config.quickX11KillShutdown = c.quick;
    if (c.shape) c.shape(options);
    bundle_ = MakeFaultBundle(options);
    if (c.spoil) c.spoil(bundle_);
    TimedRun run = RunTimed(PlanFor(bundle_, c.program, kBound), bundle_.root, 60);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_LT(run.seconds, 2 * kBound + kSlack);
    EXPECT_EQ(run.result.out, "");
    EXPECT_NE(run.result.err.find(c.message), std::string::npos) << run.result.err;
    if (std::string(c.instance) == "released") {
      EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    } else {
      EXPECT_TRUE(HoldsEndedClaim(bundle_)) << ReadFile(bundle_.paths.instanceFile);
    }
    EXPECT_EQ(RecordedCalls(bundle_, "wine") > 0, c.engineRuns);
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5)) << "a stand-in server was left running";
    EXPECT_FALSE(PathExists(bundle_.paths.tempFile));
    // The next start is not blocked by what this one left.
    EXPECT_EQ(RunTimed(PlanFor(bundle_, c.program, kBound), bundle_.root, 60).result.out, "");
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
    RemoveTestBundle(bundle_);
    bundle_ = TestBundle();
  }
  TestBundle bundle_;
};

void Control(const TestBundle& bundle, const std::string& file, const std::string& value) {
  WriteFile(bundle.control + "/" + file, value);
}

TEST_F(FaultsBrokenBundle, X11ServerThatNeverComesUpOrExitsAtOnce) {
  for (const char* mode : {"never", "exit"}) {
    for (const char* program : {"Valnor", "Brackenfold"}) {
      for (const char* quick : {"true", "false"}) {
        // Valnor in quick mode is the launcher tests' own case.
        if (std::string(program) == "Valnor" && std::string(quick) == "true") continue;
        RunCase({mode, program, quick, nullptr,
                 [mode](const TestBundle& b) { Control(b, "x11", mode); }, "LastX11.log",
                 "released", false});
      }
    }
  }
}

TEST_F(FaultsBrokenBundle, MissingLogsFolder) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    RunCase({"no Logs", program, "false",
             [](TestBundleOptions& o) { o.withLogs = false; }, nullptr,
             "The folder Contents/Resources/Logs is missing", "released", false});
  }
}

TEST_F(FaultsBrokenBundle, MissingPidof) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    for (const char* quick : {"true", "false"}) {
      RunCase({"no pidof", program, quick, [](TestBundleOptions& o) { o.withPidof = false; },
               nullptr, "X11 server did not start", "released", false});
    }
  }
}

TEST_F(FaultsBrokenBundle, MissingX11Application) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    RunCase({"no X11 app", program, "true", [](TestBundleOptions& o) { o.x11App = ""; }, nullptr,
             ".X11location", "claimed", false});
  }
}

// A link to itself cannot be opened, so the launcher re-creates it and the run goes on.
TEST_F(FaultsBrokenBundle, X11LinkThatPointsAtItself) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    SCOPED_TRACE(program);
    TestBundleOptions options;
    options.withX11Link = false;
    bundle_ = MakeFaultBundle(options);
    const std::string link = bundle_.contents + "/SharedSupport/X11";
    ASSERT_EQ(symlink("X11", link.c_str()), 0);
    TimedRun run = RunTimed(PlanFor(bundle_, program, kBound), bundle_.root, 60);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(),
              "../MacOS/QVX11.app/Contents/SharedSupport/X11");
    EXPECT_TRUE(std::filesystem::is_directory(link + "/lib"));
    EXPECT_EQ(RecordedCalls(bundle_, "wine"), 1);
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
    RemoveTestBundle(bundle_);
    bundle_ = TestBundle();
  }
}

// As an unprivileged user, with every folder its own but Contents: neither the claim nor the
// snapshots can be written there. The shell says so, and nothing is left running.
TEST_F(FaultsBrokenBundle, ContentsTheUserMayNotWrite) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    for (const char* quick : {"true", "false"}) {
      SCOPED_TRACE(std::string(program) + " quick " + quick);
      TestBundleOptions options;
      options.config.quickX11KillShutdown = quick;
      bundle_ = MakeFaultBundle(options);
        LaunchPlan plan = PlanFor(bundle_, program, kBound);
      plan.options.asNobody = true;
      HandBundleToNobody(bundle_);
      ASSERT_EQ(chown(bundle_.contents.c_str(), 0, 0), 0);
      ASSERT_EQ(chmod(bundle_.contents.c_str(), 0755), 0);
      TimedRun run = RunTimed(plan, bundle_.root, 60);
      EXPECT_EQ(run.result.signal, 0);
      EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
      EXPECT_LT(run.seconds, 2 * kBound + kSlack);
      EXPECT_NE(run.result.err.find(".AlreadyRunningPID"), std::string::npos) << run.result.err;
      EXPECT_NE(run.result.err.find("Permission denied"), std::string::npos) << run.result.err;
      EXPECT_FALSE(PathExists(bundle_.paths.instanceFile));
      EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5)) << "a stand-in server was left running";
      RemoveTestBundle(bundle_);
      bundle_ = TestBundle();
    }
  }
}

}  // namespace
