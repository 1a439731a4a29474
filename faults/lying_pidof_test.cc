// A pidof that lies: no output, garbage, error text, negative numbers, 0, the IDs of unrelated
// processes, or one line for ever. The launcher must never signal a process group or an
// unrelated process, and never wait past its bound.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const double kBound = 1;
const double kSlack = 8;

// A sleep of the test's own, in its own process group, whose ID the lying pidof hands out.
class FaultsLyingPidof : public ::testing::Test {
 protected:
  void SetUp() override { bystander_ = StartBystander(); }
  void TearDown() override {
    EndBystander(bystander_);
    RemoveTestBundle(bundle_);
  }

  // The lines a lying pidof prints, all at once: every kind the launcher must pass over.
  std::string AllLies() const {
    const std::string b = std::to_string(bystander_);
    return std::string("garbage \x01\x7f\xff line\n") +
           "pidof: cannot read /proc: Permission denied\n" + "-1\n" + "-" + b + "\n" + "0\n" +
           "-0\n" + std::to_string(getpid()) + "\n" + "1\n" + b + "\n" + "  " + b +
           " sleep\n" + "4294967296\n" + "-2147483648\n" + "\n";
  }

  // Runs program with a pidof whose output script gives; checks what every lie must leave.
  TimedRun RunWithPidof(const std::string& program, const std::string& quick,
                        const std::string& script, bool x11ComesUp) {
    TestBundleOptions options;
    options.config.quickX11KillShutdown = quick;
    bundle_ = MakeFaultBundle(options);
    if (!x11ComesUp) WriteFile(bundle_.control + "/x11", "never");
    ScriptPidof(bundle_, script);
    TimedRun run = RunTimed(PlanFor(bundle_, program, kBound), bundle_.root, 60);
    EXPECT_FALSE(run.result.timedOut);
    // A signal to its own process group would have ended the launcher itself.
    EXPECT_EQ(run.result.signal, 0);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_LT(run.seconds, 2 * kBound + kSlack);
    EXPECT_TRUE(IsAlive(bystander_)) << "the unrelated sleep was signalled";
    EXPECT_EQ(kill(-bystander_, 0), 0) << "the unrelated process group is gone";
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    return run;
  }

  // A pidof script that prints lies on every call but the first for each name, then the
  // bundle's own stand-ins when withOwn; lies for only those names that match pattern.
  static std::string LyingScript(const std::string& lies, bool withOwn,
                                 const std::string& pattern = "*") {
    return "case \"$1\" in " + pattern +
           ")\n"
           "  if [ -e \"$root/control/seen.$1\" ]; then\n"
           "    cat <<'LIES'\n" +
           lies +
           "LIES\n"
           "  else : > \"$root/control/seen.$1\"; fi;;\n"
           "esac\n" +
           (withOwn ? kListOwnStandIns : "");
  }

  TestBundle bundle_;
  pid_t bystander_ = -1;
};

// Only lies: no server is ever learnt, so the run ends at the bound with the message.
TEST_F(FaultsLyingPidof, OnlyLiesEndAtTheBound) {
  const std::string b = std::to_string(bystander_);
  const std::string lies[] = {
      "",          "garbage \x01\x7f\xff\n", "pidof: cannot read /proc: Permission denied\n",
      "-1\n",      "-" + b + "\n",           "0\n",
      std::to_string(getpid()) + "\n",       "1\n",
      b + "\n",    AllLies(),
  };
  for (const std::string& lie : lies) {
    // Valnor meets every lie alone; both launchers meet all of them together.
    for (const char* program : {"Valnor", "Brackenfold"}) {
      if (std::string(program) == "Brackenfold" && lie != AllLies()) continue;
      SCOPED_TRACE(std::string(program) + " lie: " + lie);
      TimedRun run = RunWithPidof(program, "true", LyingScript(lie, false), false);
      EXPECT_NE(run.result.err.find("X11 server did not start"), std::string::npos)
          << run.result.err;
      EXPECT_EQ(RecordedCalls(bundle_, "wine"), 0);
      RemoveTestBundle(bundle_);
      bundle_ = TestBundle();
    }
  }
}

// The same line for ever, also in the snapshot before the start: nothing new, ever.
TEST_F(FaultsLyingPidof, TheSameLineForEverEndsAtTheBound) {
  for (const std::string& line : {std::to_string(bystander_), std::string("0"),
                                   std::string("sh: 1: ./pidof: Permission denied")}) {
    SCOPED_TRACE(line);
    TimedRun run = RunWithPidof("Valnor", "true", "echo '" + line + "'\n", false);
    EXPECT_NE(run.result.err.find("X11 server did not start"), std::string::npos);
    EXPECT_GE(RecordedCalls(bundle_, "pidof"), 3) << "the after snapshot is retaken";
    RemoveTestBundle(bundle_);
    bundle_ = TestBundle();
  }
}

// Lies first, then the bundle's own servers: the launcher passes over every lie, finds its own
// servers, waits for its own Wine server and kills only its own X11 server.
TEST_F(FaultsLyingPidof, LiesBeforeTheOwnServersArePassedOver) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    for (const char* quick : {"true", "false"}) {
      SCOPED_TRACE(std::string(program) + " quick " + quick);
      TimedRun run = RunWithPidof(program, quick, LyingScript(AllLies(), true), true);
      EXPECT_EQ(run.result.err.find("did not"), std::string::npos) << run.result.err;
      EXPECT_EQ(RecordedCalls(bundle_, "wine"), 1);
      EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
      RemoveTestBundle(bundle_);
      bundle_ = TestBundle();
    }
  }
}

// Lies about the Wine server only: the run waits its bound, says so, and still cleans up.
TEST_F(FaultsLyingPidof, LiesAboutTheWineServerEndAtTheBound) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    SCOPED_TRACE(program);
    TimedRun run =
        RunWithPidof(program, "false", LyingScript(AllLies(), false, "wineserver") +
                                           "[ \"$1\" = QVX11Server ] && {\n" + kListOwnStandIns +
                                           "}\n",
                     true);
    EXPECT_NE(run.result.err.find("did not bring up its Wine server"), std::string::npos)
        << run.result.err;
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
    RemoveTestBundle(bundle_);
    bundle_ = TestBundle();
  }
}

}  // namespace
