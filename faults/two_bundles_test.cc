// Two wrapper bundles launched in the same second pick the same display (the generator is seeded
// with the time in whole seconds), and each one's snapshots list the other's new X11 server.
// The stand-ins here act machine-wide, as real ones do: each X11 server takes the display's lock
// file /tmp/.X«n»-lock and refuses a display whose lock a live server holds, and each pidof lists
// the servers of both bundles. Each launcher must end up with a server on a display of its own,
// and kill only its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

const int kRounds = 3;

// Returns the stand-in X11 server of the bundle at root, which locks its display like a real one.
std::string LockingX11Server(const std::string& root) {
  return "#!/bin/sh\n"
         "root='" + root + "'\n"
         "printf '%s\\0' \"$@\" > \"$root/record/QVX11Server.argv\"\n"
         "echo \"$*\" >> \"$root/record/QVX11Server.calls\"\n"
         "n=${1#:}\n"
         "lock=/tmp/.X$n-lock\n"
         "echo \"stand-in X11 server for $1\"\n"
         "if ! ( set -C; printf '%10d\\n' $$ > \"$lock\" ) 2>/dev/null; then\n"
         "  owner=$(tr -d ' ' < \"$lock\")\n"
         "  if [ -n \"$owner\" ] && kill -0 \"$owner\" 2>/dev/null; then\n"
         "    echo \"Server is already active for display $n\"\n"
         "    echo \"$n\" >> \"$root/record/refused\"\n"
         "    exit 1\n"
         "  fi\n"
         "  rm -f \"$lock\"\n"
         "  ( set -C; printf '%10d\\n' $$ > \"$lock\" ) 2>/dev/null || exit 1\n"
         "fi\n"
         "echo \"$n\" >> \"$root/record/served\"\n"
         "touch \"$root/running/QVX11Server.$$\"\n"
         "echo \"/tmp/.X11-unix/X$n\" >> \"$root/record/sockets\"\n"
         "exec \"$root/standins/x11-listener\" \"/tmp/.X11-unix/X$n\" 0\n";
}

// Returns a pidof script that lists the live stand-in servers of every bundle at roots.
std::string MachineWidePidof(const std::vector<std::string>& roots) {
  std::string script = "for root in";
  for (const std::string& root : roots) script += " '" + root + "'";
  return script + "; do\n" + kListOwnStandIns + "done\n";
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class FaultsTwoBundles : public ::testing::Test {
 protected:
  void TearDown() override {
    for (TestBundle& bundle : bundles_) {
      // Only the locks that this test's stand-ins took are removed.
      for (const std::string& n : Lines(ReadFile(bundle.record + "/served"))) {
        const std::string lock = "/tmp/.X" + n + "-lock";
        for (pid_t pid : LiveStandIns(bundle, "QVX11Server")) kill(pid, SIGKILL);
        unlink(lock.c_str());
      }
      RemoveTestBundle(bundle);
    }
  }
  std::vector<TestBundle> bundles_;
};

TEST_F(FaultsTwoBundles, EachGetsADisplayOfItsOwnAndKillsOnlyItsOwnServer) {
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    TestBundleOptions options;
    options.config.quickX11KillShutdown = "false";
    bundles_ = {MakeFaultBundle(options), MakeFaultBundle(options)};
    for (TestBundle& bundle : bundles_) {
      const std::string server = bundle.paths.macos + "/QVX11.app/Contents/MacOS/QVX11Server";
      WriteFile(server, LockingX11Server(bundle.root));
      chmod(server.c_str(), 0755);
      ScriptPidof(bundle, MachineWidePidof({bundles_[0].root, bundles_[1].root}));
    }
    // The first bundle's run lasts longer, so a kill of its server by the second shows.
    WriteFile(bundles_[0].control + "/wineserver.seconds", "3");
    WriteFile(bundles_[1].control + "/wineserver.seconds", "1");

    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    pid_t pids[2];
    std::string outs[2], errs[2];
    for (int i = 0; i < 2; ++i) {
      LaunchPlan plan = PlanFor(bundles_[static_cast<size_t>(i)], "Valnor", 5);
      plan.options.startGateFd = gate[0];
      plan.options.startGateWriteFd = gate[1];
      outs[i] = bundles_[static_cast<size_t>(i)].root + "/out";
      errs[i] = bundles_[static_cast<size_t>(i)].root + "/err";
      pids[i] = StartLauncher(plan, outs[i], errs[i]);
    }
    close(gate[0]);
    usleep(20000);
    close(gate[1]);

    RunResult second = WaitProgram(pids[1], 30, outs[1], errs[1]);
    EXPECT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(second.err, "");
    // A signalled server takes a moment to die.
    for (int i = 0; i < 200 && !LiveStandIns(bundles_[1], "QVX11Server").empty(); ++i) usleep(10000);
    EXPECT_TRUE(LiveStandIns(bundles_[1], "QVX11Server").empty());
    EXPECT_EQ(LiveStandIns(bundles_[0], "QVX11Server").size(), 1u)
        << "the first bundle's X11 server must live on until its own launcher ends";
    RunResult first = WaitProgram(pids[0], 30, outs[0], errs[0]);
    EXPECT_EQ(first.exitStatus, 0) << first.err;
    EXPECT_EQ(first.err, "");

    std::vector<std::string> served[2];
    for (size_t i = 0; i < 2; ++i) {
      WaitForStandInsToEnd(bundles_[i], 2);
      served[i] = Lines(ReadFile(bundles_[i].record + "/served"));
      ASSERT_EQ(served[i].size(), 1u) << "bundle " << i;
      EXPECT_EQ(RecordedEnv(bundles_[i], "wine")["DISPLAY"], ":" + served[i][0]);
      EXPECT_TRUE(LiveStandIns(bundles_[i], "QVX11Server").empty());
      EXPECT_EQ(ReadFile(bundles_[i].paths.instanceFile), "Not Running\n");
    }
    EXPECT_NE(served[0][0], served[1][0]);
    std::printf("two bundles: displays :%s and :%s, refused starts %zu\n", served[0][0].c_str(),
                served[1][0].c_str(),
                Lines(ReadFile(bundles_[0].record + "/refused")).size() +
                    Lines(ReadFile(bundles_[1].record + "/refused")).size());
    TearDown();
    bundles_.clear();
  }
}

}  // namespace
