// Quitting a running launcher: each quit signal in each mode ends the whole run (engine, Wine
// server, X11 server), releases the bundle and gives 128 + the signal, while the script that
// started the launcher, and everything else it started, lives on.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/process_state.h"
#include "tests/fixture.h"
#include "tests/launch_helpers.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Lives(pid_t pid) { return pid > 0 && kill(pid, 0) == 0 && !IsZombieProcess(pid); }

struct QuitCase {
  const char* program;
  bool background;
  int signal;
};

void PrintTo(const QuitCase& c, std::ostream* os) {
  *os << c.program << (c.background ? " background " : " quick ") << strsignal(c.signal);
}

class QuitTest : public ::testing::TestWithParam<QuitCase> {
 protected:
  void TearDown() override {
    if (script_ > 0) {
      kill(-script_, SIGKILL);
      WaitProgram(script_, 10, bundle_.root + "/script.out", bundle_.root + "/script.err");
    }
    RemoveTestBundle(bundle_);
  }
  TestBundle bundle_;
  pid_t script_ = -1;
};

TEST_P(QuitTest, EndsTheWholeRunAndSparesTheScriptThatStartedIt) {
  const QuitCase& c = GetParam();
  TestBundleOptions options;
  options.config.quickX11KillShutdown = c.background ? "false" : "true";
  bundle_ = MakeTestBundle(options);
  WriteFile(bundle_.control + "/zenity.choice", "/Users/u/setup.exe\n");
  // The run goes on for a minute unless it is quit: the engine in quick mode, the Wine server
  // in background mode. With SIGHUP they ignore SIGTERM, so SIGKILL must follow the grace.
  WriteFile(bundle_.control + (c.background ? "/wineserver.seconds" : "/wine.seconds"), "60");
  if (c.signal == SIGHUP) WriteFile(bundle_.control + "/ignore-term", "");
  const std::string launcher = InstallLauncher(bundle_, c.program);

  // A script starts the launcher and a bystander, and waits for the launcher.
  const std::string root = bundle_.root;
  const std::string script = "sleep 60 & echo $! > '" + root + "/bystander'; '" + launcher +
                             "' & echo $! > '" + root + "/launcher'; wait $!; echo $? > '" +
                             root + "/status'; sleep 60";
  RunOptions run = LauncherRunOptions(bundle_);
  run.args = {"-c", script};
  script_ = StartProgram("/bin/sh", "sh", run, root + "/script.out", root + "/script.err");
  const pid_t launcherPid = WaitForNumberIn(root + "/launcher", 10);
  const pid_t bystander = WaitForNumberIn(root + "/bystander", 10);
  ASSERT_GT(launcherPid, 0);
  // The engine (quick) or the Wine server (background) is at work.
  ASSERT_TRUE(WaitForStandIn(bundle_, c.background ? "wineserver" : "wine", 20));
  ASSERT_TRUE(WaitForStandIn(bundle_, "QVX11Server", 20));
  const std::vector<pid_t> engine = LiveStandIns(bundle_, "wine");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));

  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(kill(launcherPid, c.signal), 0);
  const pid_t status = WaitForNumberIn(root + "/status", 20);
  const double seconds = SecondsSince(start);
  EXPECT_EQ(status, 128 + c.signal) << ReadFile(root + "/script.err");
  EXPECT_LT(seconds, 4.0) << "the run took too long to end";
  std::printf("%s: ended in %.2f s\n", strsignal(c.signal), seconds);
  EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
  // Signalled processes take a moment to die.
  for (int i = 0; i < 100 && !WaitForStandInsToEnd(bundle_, 0.01); ++i) usleep(10000);
  EXPECT_TRUE(LiveStandIns(bundle_, "QVX11Server").empty()) << "X11 server left";
  EXPECT_TRUE(LiveStandIns(bundle_, "wineserver").empty()) << "Wine server left";
  for (pid_t pid : engine) EXPECT_FALSE(Lives(pid)) << "engine " << pid << " left";
  EXPECT_TRUE(Lives(script_)) << "the script that started the launcher was signalled";
  EXPECT_TRUE(Lives(bystander)) << "the script's other child was signalled";
}

std::vector<QuitCase> AllCases() {
  std::vector<QuitCase> cases;
  for (bool background : {false, true}) {
    for (int signal : {SIGTERM, SIGHUP, SIGINT, SIGQUIT}) {
      cases.push_back({"Valnor", background, signal});
    }
    cases.push_back({"Brackenfold", background, SIGTERM});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(EachSignalAndMode, QuitTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<QuitCase>& param) {
                           return std::string(param.param.program) +
                                  (param.param.background ? "Background" : "Quick") +
                                  sigabbrev_np(param.param.signal);
                         });

// Quit while the installer's file dialog is open: the dialog is closed, nothing is started,
// and the bundle is released.
TEST(QuitDialogTest, QuitWhileTheFileDialogIsOpen) {
  TestBundle bundle = MakeTestBundle();
  WriteFile(bundle.control + "/zenity.choice", "/Users/u/setup.exe\n");
  WriteFile(bundle.control + "/zenity.wait", "60");
  const std::string path = InstallLauncher(bundle, "Brackenfold");
  const std::string out = bundle.root + "/out", err = bundle.root + "/err";
  const pid_t pid = StartProgram(path, path, LauncherRunOptions(bundle), out, err);
  const pid_t dialog = WaitForNumberIn(bundle.record + "/zenity.pid", 20);
  ASSERT_GT(dialog, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  RunResult run = WaitProgram(pid, 20, out, err);
  EXPECT_EQ(run.exitStatus, 128 + SIGTERM) << run.err;
  EXPECT_EQ(ReadFile(bundle.paths.instanceFile), "Not Running\n");
  EXPECT_EQ(RecordedCalls(bundle, "QVX11Server"), 0);
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 0);
  for (int i = 0; i < 100 && Lives(dialog); ++i) usleep(10000);
  EXPECT_FALSE(Lives(dialog)) << "the dialog was left open";
  RemoveTestBundle(bundle);
}

}  // namespace
