// A quit signal while a command runs ends the command's whole process group, and only that.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "bundle/shell.h"
#include "platform/process_state.h"
#include "platform/quit_signals.h"
#include "tests/fixture.h"
#include "tests/launch_helpers.h"

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Lives(pid_t pid) { return pid > 0 && kill(pid, 0) == 0 && !IsZombieProcess(pid); }

// The launcher stand-in: a child that watches the quit signals and runs one command.
pid_t RunWatchedCommand(const std::string& command) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(30);
    WatchQuitSignals();
    int status = RunShellCommand(command);
    // The clean-up command after the quit runs to its end.
    int after = RunShellCommand("sleep 0.2; exit 7");
    _exit(WIFEXITED(after) && WEXITSTATUS(after) == 7 && status != 0 ? 0 : 1);
  }
  return pid;
}

struct QuitCase {
  const char* name;
  const char* trap;  // how the command's programs meet SIGTERM
  double atLeast;    // the quickest end allowed
};

TEST_F(BundleTest, AQuitEndsTheCommandsGroupWithinTheGrace) {
  const QuitCase cases[] = {
      {"ends on SIGTERM", "", 0},
      {"ignores SIGTERM: SIGKILL after the grace", "trap '' TERM; ", 1.8},
  };
  for (const QuitCase& c : cases) {
    const std::string foreground = bundle.root + "/fg.pid", background = bundle.root + "/bg.pid";
    unlink(foreground.c_str());
    unlink(background.c_str());
    // One program in the background of the shell and one in its foreground, both in its group.
    const std::string command = std::string(c.trap) + "sleep 60 & echo $! > '" + background +
                                "'; sh -c \"echo \\$\\$ > '" + foreground + "'; " + c.trap +
                                "sleep 60; :\"";
    pid_t watched = RunWatchedCommand(command);
    pid_t fg = WaitForNumberIn(foreground, 10), bg = WaitForNumberIn(background, 10);
    ASSERT_TRUE(Lives(fg) && Lives(bg)) << c.name;
    auto start = std::chrono::steady_clock::now();
    kill(watched, SIGTERM);
    int status = 0;
    waitpid(watched, &status, 0);
    double seconds = SecondsSince(start);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.name;
    EXPECT_GE(seconds, c.atLeast) << c.name;
    EXPECT_LT(seconds, 4) << c.name;
    for (int i = 0; i < 100 && (Lives(fg) || Lives(bg)); ++i) usleep(10000);
    EXPECT_FALSE(Lives(fg)) << c.name;
    EXPECT_FALSE(Lives(bg)) << c.name;
  }
}

// The launcher's own process group (its parent's, when started from a script) gets nothing.
TEST_F(BundleTest, AQuitReachesNoProcessOutsideTheCommandsGroup) {
  pid_t bystander = fork();
  if (bystander == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string foreground = bundle.root + "/fg.pid";
  pid_t watched = RunWatchedCommand("echo $$ > '" + foreground + "'; sleep 60");
  ASSERT_GT(WaitForNumberIn(foreground, 10), 0);
  kill(watched, SIGINT);
  waitpid(watched, nullptr, 0);
  EXPECT_TRUE(Lives(bystander)) << "a process beside the launcher was signalled";
  EXPECT_TRUE(Lives(getpid()));
  kill(bystander, SIGKILL);
  waitpid(bystander, nullptr, 0);
}

TEST(RunShellCommandTest, GivesTheShellsWaitStatus) {
  EXPECT_EQ(RunShellCommand("exit 0"), 0);
  int status = RunShellCommand("exit 3");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  status = RunShellCommand("kill -9 $$");
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

}  // namespace
