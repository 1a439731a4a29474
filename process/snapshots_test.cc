#include "process/snapshots.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "bundle/companions.h"
#include "platform/process_state.h"
#include "process/wait_bound.h"
#include "tests/fixture.h"

namespace {

// IDs above the largest one any kernel hands out (4194304 on Linux), so that no live process of
// another bundle can be mistaken for them and the ownership check stays out of the way.
constexpr char kOld[] = "5000101";
constexpr char kNew[] = "5000202";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A bundle whose pidof prints control/after, with a chosen wait bound.
class SnapshotTest : public BundleTest {
 protected:
  void SetUp() override {
    BundleTest::SetUp();
    const char* saved = std::getenv(kWaitBoundVariable);
    hadBound_ = saved != nullptr;
    if (saved) savedBound_ = saved;
    SetBound("10");
    WritePidof("cat \"$root/control/after\"\n");
  }
  void TearDown() override {
    if (hadBound_) {
      setenv(kWaitBoundVariable, savedBound_.c_str(), 1);
    } else {
      unsetenv(kWaitBoundVariable);
    }
    BundleTest::TearDown();
  }
  void SetBound(const std::string& seconds) { setenv(kWaitBoundVariable, seconds.c_str(), 1); }
  void WritePidof(const std::string& script) { WriteFile(bundle.control + "/pidof.sh", script); }
  std::string Before() const { return BeforeSnapshotFile(bundle.paths.macos); }
  std::string After() const { return AfterSnapshotFile(bundle.paths.macos); }

 private:
  bool hadBound_ = false;
  std::string savedBound_;
};

TEST_F(SnapshotTest, MakePIDFileRunsPidofInMacOSAndKeepsBothStreams) {
  WritePidof("echo \"out $1\"\necho \"complaint\" >&2\n");
  WriteFile(Before(), "stale content that must go\nand more\n");
  MakePIDFile(bundle.paths.macos, kX11ServerProcessName, Before());
  EXPECT_EQ(ReadFile(Before()), "out QVX11Server\ncomplaint\n");
  EXPECT_EQ(RecordedArgs(bundle, "pidof"), std::vector<std::string>{"QVX11Server"});
  EXPECT_EQ(ReadFile(bundle.record + "/pidof.cwd"), ResolvedPath(bundle.paths.macos) + "\n");
  EXPECT_EQ(RecordedCalls(bundle, "pidof"), 1);
}

TEST_F(SnapshotTest, MakePIDFileHandsOverAHostileNameAsOneWord) {
  const std::string name = "wine\"server $(touch canary) `touch canary` \\";
  WritePidof("printf '%s' \"$1\"\n");
  MakePIDFile(bundle.paths.macos, name, After());
  EXPECT_EQ(ReadFile(After()), name);
  EXPECT_FALSE(PathExists(bundle.paths.macos + "/canary"));
}

TEST(ParsePIDTest, ReadsLeadingDecimalAndKeepsLow32Bits) {
  struct Case {
    const char* line;
    int32_t pid;
  };
  const Case cases[] = {
      {"812", 812},
      {"812 word", 812},
      {"  \t42x", 42},
      {"+7", 7},
      {"0812", 812},
      {"-1", -1},
      {"", 0},
      {"word", 0},
      {"Not Running\r", 0},
      {"4294967297", 1},
      {"4294967295", -1},
      {"2147483648", INT32_MIN},
      {"2147483647", INT32_MAX},
      {"99999999999999999999999", -1},  // strtoimax gives INTMAX_MAX
      {"-99999999999999999999999", 0},  // INTMAX_MIN has no low bits set
  };
  for (const Case& c : cases) EXPECT_EQ(ParsePID(c.line), c.pid) << '"' << c.line << '"';
}

TEST_F(SnapshotTest, FindNewPIDTakesTheFirstNewUsableLine) {
  struct Case {
    const char* name;
    std::optional<std::string> before;  // nothing: no before file
    std::optional<std::string> after;   // nothing: no after file
    std::optional<int32_t> pid;
  };
  const std::string o = kOld;
  const std::string n = kNew;
  const Case cases[] = {
      {"one new line", o + "\n", o + "\n" + n + "\n", 5000202},
      {"first new wins", o + "\n", "5000303\n" + o + "\n" + n + "\n", 5000303},
      {"old anywhere", n + "\n" + o + "\n" + n + "\n", o + "\n" + o + "\n" + n + "\n5000303",
       5000303},
      {"same snapshot", o + "\n" + n + "\n", o + "\n" + n + "\n", std::nullopt},
      {"ended process plays no part", o + "\n" + n + "\n", n + "\n", std::nullopt},
      {"leading zero is new", n + "\n", n + "\n0" + n + "\n", 5000202},
      {"trailing text is new", n + "\n", n + "\n" + n + " more text\n", 5000202},
      {"carriage return is new", o + "\n", o + "\r\n", 5000101},
      {"carriage return in before", o + "\r\n", o + "\n", 5000101},
      {"last line without line feed", o + "\n", o + "\n" + n, 5000202},
      {"letters passed over", o + "\n", "pidof: trouble\n" + o + "\n" + n + "\n", 5000202},
      {"only letters", o + "\n", o + "\npidof: trouble\n", std::nullopt},
      {"zero and negatives passed over", o + "\n", "-1\n0\n-" + o + "\n" + n + "\n", 5000202},
      {"empty line passed over", o + "\n", "\n" + o + "\n\n" + n, 5000202},
      {"same message in both is old", "./pidof: not found\n", "./pidof: not found\n" + n + "\n",
       5000202},
      {"missing before", std::nullopt, o + "\n" + n + "\n", 5000101},
      {"missing after", o + "\n", std::nullopt, std::nullopt},
      {"empty after", o + "\n", "", std::nullopt},
  };
  for (const Case& c : cases) {
    unlink(Before().c_str());
    unlink(After().c_str());
    if (c.before) WriteFile(Before(), *c.before);
    if (c.after) WriteFile(After(), *c.after);
    EXPECT_EQ(FindNewPID(bundle.paths.macos, Before(), After()), c.pid) << c.name;
  }
}

TEST_F(SnapshotTest, WaitForNewPIDReturnsANewProcessAfterOneRetake) {
  WriteFile(Before(), std::string(kOld) + "\n");
  WriteFile(bundle.control + "/after", std::string(kOld) + "\n" + kNew + "\n");
  EXPECT_EQ(WaitForNewPID(bundle.paths.macos, kWineserverProcessName, Before(), After()), 5000202);
  EXPECT_EQ(RecordedCalls(bundle, "pidof"), 1);
  EXPECT_EQ(RecordedArgs(bundle, "pidof"), std::vector<std::string>{"wineserver"});
  EXPECT_EQ(ReadFile(Before()), std::string(kOld) + "\n") << "the before snapshot is not rewritten";
}

TEST_F(SnapshotTest, WaitForNewPIDRetakesUntilTheProcessShowsUp) {
  // From the fifth call on, the new process is listed; before that only unusable new lines are.
  WritePidof(
      "echo 5000101\necho 'pidof: warning'\necho -1\n"
      "[ \"$(wc -l < \"$root/record/pidof.calls\")\" -ge 5 ] && echo 5000202\n");
  WriteFile(Before(), std::string(kOld) + "\n");
  EXPECT_EQ(WaitForNewPID(bundle.paths.macos, kX11ServerProcessName, Before(), After()), 5000202);
  EXPECT_EQ(RecordedCalls(bundle, "pidof"), 5);
}

// A pidof can list a process that ends as it looks: a server start passes over such a line and
// goes on to the process it started.
TEST_F(SnapshotTest, WaitForNewLivePIDPassesOverAnEndedProcess) {
  pid_t ended = fork();
  ASSERT_GE(ended, 0);
  if (ended == 0) _exit(0);
  waitpid(ended, nullptr, 0);
  pid_t live = fork();
  ASSERT_GE(live, 0);
  if (live == 0) {
    // It works in the bundle, as the bundle's server does.
    if (chdir(bundle.paths.macos.c_str()) != 0) _exit(126);
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string e = std::to_string(ended), l = std::to_string(live);
  WritePidof("echo " + e + "\n[ \"$(wc -l < \"$root/record/pidof.calls\")\" -ge 3 ] && echo " + l +
             "\n");
  WriteFile(Before(), "");
  EXPECT_EQ(WaitForNewPID(bundle.paths.macos, kX11ServerProcessName, Before(), After()), ended);
  EXPECT_EQ(WaitForNewLivePID(bundle.paths.macos, kX11ServerProcessName, Before(), After()), live);
  kill(live, SIGKILL);
  waitpid(live, nullptr, 0);
}

TEST_F(SnapshotTest, WaitForNewPIDGivesUpAfterTheBoundWithoutSpinning) {
  SetBound("1");
  WriteFile(Before(), std::string(kOld) + "\n");
  WriteFile(bundle.control + "/after", std::string(kOld) + "\n");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WaitForNewPID(bundle.paths.macos, kX11ServerProcessName, Before(), After()), 0);
  double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 10.0);
  int retakes = RecordedCalls(bundle, "pidof");
  EXPECT_GE(retakes, 3) << "the wait retakes the snapshot more than once";
  EXPECT_LT(retakes, 60) << "the retake loop must pause between passes";
}

TEST(MonitorWineserverTest, ReturnsAtOnceWithoutAProcessOrForGroupIDs) {
  for (int32_t pid : {5000101, 0, -1, -5000101}) {
    auto start = std::chrono::steady_clock::now();
    MonitorWineserver(pid);
    EXPECT_LT(SecondsSince(start), 0.9) << pid;
  }
}

TEST(MonitorWineserverTest, NoticesThatAProcessEnded) {
  char pattern[] = "/tmp/quillon-monitor.XXXXXX";
  int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  close(fd);
  // The shell leaves the sleep behind and ends, so the sleep is not a child of this test.
  std::string command =
      "sleep 1 < /dev/null > /dev/null 2>&1 & echo $! > \"" + std::string(pattern) + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0);
  pid_t pid = static_cast<pid_t>(std::atoi(ReadFile(pattern).c_str()));
  unlink(pattern);
  ASSERT_GT(pid, 0);
  auto start = std::chrono::steady_clock::now();
  MonitorWineserver(pid);
  double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 0.5) << "it returned while the process was still running";
  EXPECT_LT(seconds, 5.0);
  EXPECT_TRUE(kill(pid, 0) != 0 || IsZombieProcess(pid));
}

TEST(MonitorWineserverTest, CountsAnUnreapedChildAsEnded) {
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(0);
  auto start = std::chrono::steady_clock::now();
  while (!IsZombieProcess(pid) && SecondsSince(start) < 10) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(IsZombieProcess(pid));
  ASSERT_EQ(kill(pid, 0), 0) << "a zombie can still be signalled";
  start = std::chrono::steady_clock::now();
  MonitorWineserver(pid);
  EXPECT_LT(SecondsSince(start), 0.9);
  waitpid(pid, nullptr, 0);
}

TEST(MonitorWineserverTest, ReturnsWhenTheProbeIsNotPermitted) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to probe as another user";
  pid_t parent = getpid();
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    alarm(10);  // the probe must fail with EPERM and return well before this
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    if (kill(parent, 0) == 0) _exit(3);
    MonitorWineserver(static_cast<int32_t>(parent));
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the monitor did not return";
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot switch to the user nobody here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
