// The bundle's claim lives exactly as long as its launcher: whatever ID the instance file names,
// only a live launcher that holds the claim denies a start.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const double kBound = 2;   // QUILLON_WAIT_SECONDS
const double kSlack = 10;  // what a run may take beyond its bound on a loaded machine

class FaultsClaim : public ::testing::Test {
 protected:
  void TearDown() override {
    EndBystander(bystander_);
    EndBystander(holder_);
    RemoveTestBundle(bundle_);
  }

  // Expects a run that went its whole way, quickly and without a denial, its own servers ended
  // (those of others left alone).
  void ExpectProceeded(const TimedRun& run, int wineCalls, const std::vector<pid_t>& others = {}) {
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_EQ(run.result.out, "");
    EXPECT_LT(run.seconds, kBound + kSlack);
    EXPECT_EQ(RecordedCalls(bundle_, "wine"), wineCalls);
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    for (int i = 0; i < 500 && LiveStandIns(bundle_, "QVX11Server").size() +
                                   LiveStandIns(bundle_, "wineserver").size() > others.size(); ++i) {
      usleep(10000);
    }
    EXPECT_EQ(LiveStandIns(bundle_, "QVX11Server").size() + LiveStandIns(bundle_, "wineserver").size(),
              others.size());
  }

  TestBundle bundle_;
  pid_t bystander_ = -1;
  pid_t holder_ = -1;
};

TEST_F(FaultsClaim, AnIDThatNoLauncherHoldsDeniesNothing) {
  bundle_ = MakeFaultBundle();
  bystander_ = StartBystander();
  int wineCalls = 0;
  for (const char* program : {"Valnor", "Brackenfold"}) {
    SCOPED_TRACE(program);
    // A live process that is no launcher: a shell, a browser, or whatever got a crashed
    // launcher's ID after a reboot.
    WriteFile(bundle_.paths.instanceFile, std::to_string(bystander_) + "\n");
    ExpectProceeded(RunTimed(PlanFor(bundle_, program, kBound), bundle_.root, 60), ++wineCalls);
    EXPECT_TRUE(IsAlive(bystander_));

    // The launcher's own ID, left by an earlier process that had it: written while the launcher
    // waits at its start gate, before it runs.
    LaunchPlan plan = PlanFor(bundle_, program, kBound);
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    plan.options.startGateFd = gate[0];
    plan.options.startGateWriteFd = gate[1];
    const std::string out = bundle_.root + "/own.out", err = bundle_.root + "/own.err";
    const pid_t pid = StartLauncher(plan, out, err);
    close(gate[0]);
    WriteFile(bundle_.paths.instanceFile, std::to_string(pid) + "\n");
    close(gate[1]);
    TimedRun own;
    own.result = WaitProgram(pid, 60, out, err);
    ExpectProceeded(own, ++wineCalls);
  }
}

TEST_F(FaultsClaim, AKilledHoldersIDGivenToAnotherProcessDeniesNothing) {
  TestBundleOptions options;
  options.config.quickX11KillShutdown = "false";
  bundle_ = MakeFaultBundle(options);
  WriteFile(bundle_.control + "/wineserver.seconds", "60");
  // Installed once: a running program's file cannot be copied over.
  const LaunchPlan valnor = PlanFor(bundle_, "Valnor", kBound);
  const LaunchPlan brackenfold = PlanFor(bundle_, "Brackenfold", kBound);
  const std::string out = bundle_.root + "/holder.out", err = bundle_.root + "/holder.err";
  holder_ = StartLauncher(valnor, out, err);
  ASSERT_TRUE(WaitForStandIn(bundle_, "wineserver", 20));

  // While it runs, both launchers are denied, and the denial names it.
  for (const char* program : {"Valnor", "Brackenfold"}) {
    TimedRun denied = RunTimed(std::string(program) == "Valnor" ? valnor : brackenfold, bundle_.root, 60);
    EXPECT_EQ(denied.result.exitStatus, 0);
    EXPECT_EQ(denied.result.out, std::string(program) == "Valnor"
                                     ? ValnorDenialLine(std::to_string(holder_))
                                     : BrackenfoldDenialLine(std::to_string(holder_)));
  }
  EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), std::to_string(holder_) + "\n");

  // kill -9: its X11 and Wine servers live on, but hold no claim, as they never got its lock.
  // Its ID then goes to a live process of the user, as after a reboot.
  ASSERT_EQ(kill(holder_, SIGKILL), 0);
  WaitProgram(holder_, 10, out, err);
  holder_ = -1;
  std::vector<pid_t> orphans = LiveStandIns(bundle_, "QVX11Server");
  for (pid_t pid : LiveStandIns(bundle_, "wineserver")) orphans.push_back(pid);
  ASSERT_EQ(orphans.size(), 2u);
  bystander_ = StartBystander();
  // Long enough for the paced retakes to see it: a server they miss would leave the launcher
  // waiting for the orphaned one of this bundle, as it should.
  WriteFile(bundle_.control + "/wineserver.seconds", "1");
  int wineCalls = 1;
  for (const char* program : {"Valnor", "Brackenfold"}) {
    SCOPED_TRACE(program);
    WriteFile(bundle_.paths.instanceFile, std::to_string(bystander_) + "\n");
    ExpectProceeded(RunTimed(std::string(program) == "Valnor" ? valnor : brackenfold, bundle_.root, 60),
                    ++wineCalls, orphans);
  }
  for (pid_t pid : orphans) kill(pid, SIGKILL);
}

}  // namespace
