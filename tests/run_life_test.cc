// The life of a run around its servers: the engine starts only once the display answers, and
// in background mode a Wine server of this bundle that already runs is waited for.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/fixture.h"
#include "tests/launch_helpers.h"

namespace {

const char kX11DidNotStart[] = "LastX11.log";
const char kWineDidNotStart[] = "LastWine.log";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct RunLifeTest : ::testing::Test {
  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    RemoveTestBundle(bundle);
  }
  // Starts the bundle's stand-in Wine server for seconds, working in folder with WINEPREFIX
  // prefix, as a Wine server of an earlier run or of a tool would run; returns once it is up.
  pid_t StartWineserver(const std::string& folder, const std::string& prefix, double seconds) {
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      if (chdir(folder.c_str()) != 0) _exit(126);
      setenv("WINEPREFIX", prefix.c_str(), 1);
      const std::string life = std::to_string(seconds);
      const std::string server = bundle.root + "/standins/wineserver";
      execl(server.c_str(), "wineserver", life.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    started_.push_back(pid);
    EXPECT_TRUE(WaitForStandIn(bundle, "wineserver", 10));
    return pid;
  }
  std::string Prefix() const {
    return bundle.contents + "/SharedSupport/Ambergate/support/default";
  }
  TestBundle bundle;
  std::vector<pid_t> started_;
};

TEST_F(RunLifeTest, TheEngineStartsOnlyOnceTheDisplayAnswers) {
  bundle = MakeTestBundle();
  WriteFile(bundle.control + "/x11.socket", "2");
  auto start = std::chrono::steady_clock::now();
  RunResult run = RunLauncher(bundle, "Valnor");
  const double seconds = SecondsSince(start);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 1);
  EXPECT_EQ(ReadFile(bundle.record + "/wine.display"), "answering\n");
  EXPECT_GE(seconds, 2.0) << "the engine did not wait for the display";
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
}

// A server that runs but never answers, or that ends before it answers: the message, no
// engine, the server killed and the bundle released, all within the bound.
TEST_F(RunLifeTest, ADisplayThatNeverAnswersEndsTheRunWithoutEngine) {
  const struct {
    const char* program;
    const char* file;
    const char* value;
  } cases[] = {{"Valnor", "x11.socket", "never"}, {"Brackenfold", "x11.socket", "never"},
               {"Valnor", "x11", "exit"}};
  for (const auto& c : cases) {
    bundle = MakeTestBundle();
    WriteFile(bundle.control + "/zenity.choice", "/Users/u/setup.exe\n");
    WriteFile(bundle.control + "/" + c.file, c.value);
    RunOptions options = LauncherRunOptions(bundle);
    options.env["QUILLON_WAIT_SECONDS"] = "2";
    auto start = std::chrono::steady_clock::now();
    RunResult run = RunLauncher(bundle, c.program, options);
    const double seconds = SecondsSince(start);
    EXPECT_EQ(run.exitStatus, 0) << c.program << " " << c.value;
    EXPECT_NE(run.err.find(kX11DidNotStart), std::string::npos) << run.err;
    EXPECT_EQ(RecordedCalls(bundle, "wine"), 0) << c.program << " " << c.value;
    EXPECT_LT(seconds, 10.0) << c.program << " " << c.value;
    EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
    EXPECT_TRUE(WaitForStandInsToEnd(bundle, 5)) << "the X11 server was left running";
    RemoveTestBundle(bundle);
  }
  bundle = MakeTestBundle();
}

// The engine works with a Wine server of this bundle that already ran, so no new one shows up:
// the launcher waits for that one, keeps the display and the claim, and shows no message.
TEST_F(RunLifeTest, BackgroundModeWaitsForTheBundlesRunningWineServer) {
  TestBundleOptions options;
  options.config.quickX11KillShutdown = "false";
  bundle = MakeTestBundle(options);
  WriteFile(bundle.control + "/wineserver.seconds", "none");
  const pid_t earlier = StartWineserver("/", Prefix(), 4);
  const std::string path = InstallLauncher(bundle, "Valnor");
  RunOptions run = LauncherRunOptions(bundle);
  run.env["QUILLON_WAIT_SECONDS"] = "1";
  const std::string out = bundle.root + "/out", err = bundle.root + "/err";
  auto start = std::chrono::steady_clock::now();
  const pid_t pid = StartProgram(path, path, run, out, err);
  // Past the bound for a new server the run still holds the bundle and the display.
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  EXPECT_FALSE(LiveStandIns(bundle, "QVX11Server").empty()) << "the display was taken away";
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), std::to_string(pid) + "\n");
  RunResult second = RunProgram(path, path, run);
  EXPECT_EQ(second.out, ValnorDenialLine(std::to_string(pid)));
  RunResult first = WaitProgram(pid, 30, out, err);
  EXPECT_GE(SecondsSince(start), 3.0) << "it did not wait for the running Wine server";
  EXPECT_EQ(first.exitStatus, 0) << first.err;
  EXPECT_EQ(first.err.find(kWineDidNotStart), std::string::npos) << first.err;
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
  EXPECT_TRUE(WaitForStandInsToEnd(bundle, 5));
  // The server that was waited for ended by itself; this run did not start it, nor signal it.
  int status = 0;
  EXPECT_EQ(waitpid(earlier, &status, WNOHANG), earlier);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "it was signalled";
}

// A running Wine server of another prefix, working elsewhere, is not this bundle's: the message.
TEST_F(RunLifeTest, AWineServerOfAnotherBundleIsNotWaitedFor) {
  TestBundleOptions options;
  options.config.quickX11KillShutdown = "false";
  bundle = MakeTestBundle(options);
  WriteFile(bundle.control + "/wineserver.seconds", "none");
  StartWineserver("/", bundle.root + "/Other.app/Contents/prefix", 20);
  RunOptions run = LauncherRunOptions(bundle);
  run.env["QUILLON_WAIT_SECONDS"] = "1";
  auto start = std::chrono::steady_clock::now();
  RunResult result = RunLauncher(bundle, "Valnor", run);
  EXPECT_LT(SecondsSince(start), 10.0);
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_NE(result.err.find(kWineDidNotStart), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
  // A killed server takes a moment to die.
  for (int i = 0; i < 200 && !LiveStandIns(bundle, "QVX11Server").empty(); ++i) usleep(10000);
  EXPECT_TRUE(LiveStandIns(bundle, "QVX11Server").empty());
  EXPECT_EQ(LiveStandIns(bundle, "wineserver").size(), 1u) << "the stranger must live on";
}

}  // namespace
