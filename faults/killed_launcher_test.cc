// A launcher killed with SIGKILL while its engine runs leaves its claim behind; the next start
// of either launcher must still proceed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

struct KilledCase {
  const char* program;
  const char* quick;  // "true": the engine runs in the foreground; "false": in the background
};

void PrintTo(const KilledCase& c, std::ostream* os) { *os << c.program << " quick " << c.quick; }

class FaultsKilledLauncher : public ::testing::TestWithParam<KilledCase> {
 protected:
  void TearDown() override {
    EndBystander(firstPid_);
    RemoveTestBundle(bundle_);
  }
  TestBundle bundle_;
  pid_t firstPid_ = -1;
};

TEST_P(FaultsKilledLauncher, NextStartProceeds) {
  const KilledCase& c = GetParam();
  const bool background = std::string(c.quick) == "false";
  TestBundleOptions options;
  options.config.quickX11KillShutdown = c.quick;
  bundle_ = MakeFaultBundle(options);
  WriteFile(bundle_.control + "/zenity.choice", "/Users/u/setup.exe\n");
  WriteFile(bundle_.control + (background ? "/wineserver.seconds" : "/wine.seconds"), "60");

  LaunchPlan plan = PlanFor(bundle_, c.program, 10);
  const std::string out = bundle_.root + "/first.out", err = bundle_.root + "/first.err";
  firstPid_ = StartLauncher(plan, out, err);
  // The engine is at work: the Wine server stands in background mode, the engine in quick mode.
  ASSERT_TRUE(WaitForStandIn(bundle_, background ? "wineserver" : "QVX11Server", 20));
  for (int i = 0; i < 2000 && RecordedCalls(bundle_, "wine") == 0; ++i) usleep(5000);
  ASSERT_EQ(RecordedCalls(bundle_, "wine"), 1);
  usleep(100000);
  ASSERT_EQ(kill(firstPid_, SIGKILL), 0);
  RunResult first = WaitProgram(firstPid_, 10, out, err);
  EXPECT_EQ(first.signal, SIGKILL);
  EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), std::to_string(firstPid_) + "\n");
  const std::vector<pid_t> orphans = LiveStandIns(bundle_, "QVX11Server");
  EXPECT_EQ(orphans.size(), 1u) << "the killed launcher's X11 server is left running";

  // The next start, of this launcher and of the other one, finds the claim ended.
  WriteFile(bundle_.control + (background ? "/wineserver.seconds" : "/wine.seconds"),
            background ? "1" : "0");
  for (const char* next : {c.program, std::string(c.program) == "Valnor" ? "Brackenfold" : "Valnor"}) {
    TimedRun run = RunTimed(PlanFor(bundle_, next, 10), bundle_.root, 60);
    EXPECT_EQ(run.result.exitStatus, 0) << next << ": " << run.result.err;
    EXPECT_EQ(run.result.out, "") << next;
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n") << next;
    // Its own X11 server is gone (a signalled process takes a moment to die); only the killed
    // launcher's orphan lives on.
    for (int i = 0; i < 500 && LiveStandIns(bundle_, "QVX11Server") != orphans; ++i) usleep(10000);
    EXPECT_EQ(LiveStandIns(bundle_, "QVX11Server"), orphans) << next;
  }
  EXPECT_EQ(RecordedCalls(bundle_, "wine"), 3);
}

INSTANTIATE_TEST_SUITE_P(
    EachModeAndLauncher, FaultsKilledLauncher,
    ::testing::Values(KilledCase{"Valnor", "true"}, KilledCase{"Valnor", "false"},
                      KilledCase{"Brackenfold", "true"}, KilledCase{"Brackenfold", "false"}),
    [](const ::testing::TestParamInfo<KilledCase>& param) {
      return std::string(param.param.program) +
             (std::string(param.param.quick) == "false" ? "Background" : "Quick");
    });

}  // namespace
