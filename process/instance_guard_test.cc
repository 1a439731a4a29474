#include "process/instance_guard.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "bundle/text_file.h"
#include "process/wait_bound.h"
#include "tests/fixture.h"
#include "tests/scoped_env.h"

namespace {

// Returns text with every "SELF", "LIVE" and "DEAD" replaced by the matching process ID.
std::string Substitute(std::string text, pid_t self, pid_t live, pid_t dead) {
  const std::pair<const char*, pid_t> marks[] = {{"SELF", self}, {"LIVE", live}, {"DEAD", dead}};
  for (const auto& [mark, pid] : marks) {
    for (std::string::size_type at; (at = text.find(mark)) != std::string::npos;) {
      text.replace(at, 4, std::to_string(pid));
    }
  }
  return text;
}

// Returns the ID of a child that has already ended and been reaped.
pid_t DeadPID() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

// Returns the ID of a child that sleeps until killed.
pid_t LivePID() {
  pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

void EndChild(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

class InstanceGuardTest : public BundleTest {
 protected:
  std::string File() const { return bundle.paths.instanceFile; }
};

TEST_F(InstanceGuardTest, TestsTheFirstLineOfTheInstanceFile) {
  struct Case {
    const char* name;
    std::optional<std::string> content;  // nothing: no file
    bool free;
  };
  const Case cases[] = {
      {"no file", std::nullopt, true},
      {"empty file", "", true},
      {"released", "Not Running\n", true},
      {"released without line feed", "Not Running", true},
      {"released with carriage return", "Not Running\r\n", true},
      {"empty first line, live ID below", "\nLIVE\n", true},
      {"own process: a claim left by an earlier holder of this ID", "SELF\n", true},
      {"live child", "LIVE\n", false},
      {"live child without line feed", "LIVE", false},
      {"live child, later lines ignored", "LIVE\nNot Running\n", false},
      {"leading blanks", "  LIVE\n", false},
      {"trailing text after digits", "LIVE word\n", false},
      {"ID beyond 32 bits narrows", "429496729600000000\n", true},
      {"dead process", "DEAD\n", true},
      {"garbage word", "garbage\n", true},
      {"minus one", "-1\n", true},
      {"zero", "0\n", true},
      {"negative group", "-SELF\n", true},
  };
  pid_t self = getpid();
  pid_t live = LivePID();
  pid_t dead = DeadPID();
  ASSERT_GT(live, 0);
  for (const Case& c : cases) {
    unlink(File().c_str());
    std::string content;
    if (c.content) {
      content = Substitute(*c.content, self, live, dead);
      WriteFile(File(), content);
    }
    InstanceState state = IsInstanceFree(File());
    EXPECT_EQ(state.free, c.free) << c.name;
    EXPECT_EQ(state.firstLine, content.substr(0, content.find('\n'))) << c.name;
    EXPECT_EQ(ReadFile(File()), content) << c.name << ": the test writes nothing";
  }
  EndChild(live);
}

TEST_F(InstanceGuardTest, NarrowsTheIDToItsLow32Bits) {
  // 2^32 + a live child's ID narrows to that ID.
  pid_t live = LivePID();
  std::string line = std::to_string(4294967296LL + live);
  WriteFile(File(), line + "\n");
  EXPECT_FALSE(IsInstanceFree(File()).free);
  EndChild(live);
}

TEST_F(InstanceGuardTest, AnotherUsersProcessCountsAsFree) {
  if (getuid() != 0) {
    // Process 1 belongs to root, and the probe of it is refused.
    WriteFile(File(), "1\n");
    EXPECT_TRUE(IsInstanceFree(File()).free);
    return;
  }
  // As root every probe is permitted, so the test runs as another user against this process.
  char pattern[] = "/tmp/quillon-guard.XXXXXX";
  int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  close(fd);
  chmod(pattern, 0644);
  WriteFile(pattern, std::to_string(getpid()) + "\n");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
    InstanceState state = IsInstanceFree(pattern);
    _exit(state.free && state.firstLine == std::to_string(getppid()) ? 0 : 1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  unlink(pattern);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot switch to the user nobody here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(InstanceGuardWriteTest, ClaimAndReleaseWriteOneLineEvenInAnOddlyNamedBundle) {
  TestBundleOptions options;
  options.appFolder = "Odd \"$HOME\" `id` \\ App.app";
  TestBundle bundle = MakeTestBundle(options);
  const std::string file = bundle.paths.instanceFile;
  WriteValnorPIDtoPidFile(file);
  EXPECT_EQ(ReadFile(file), std::to_string(getpid()) + "\n");
  MarkInstanceNotRunning(file);
  EXPECT_EQ(ReadFile(file), "Not Running\n");
  WriteFile(file, "12345\nold second line\n");
  WriteValnorPIDtoPidFile(file);
  EXPECT_EQ(ReadFile(file), std::to_string(getpid()) + "\n");
  RemoveTestBundle(bundle);
}

// A child that claimed the wrapper with TestAndClaimInstance and holds the claim until killed.
struct Holder {
  pid_t pid = -1;
  bool claimed = false;
};

Holder StartHolder(const std::string& file) {
  int answer[2];
  Holder holder;
  if (pipe(answer) != 0) return holder;
  holder.pid = fork();
  if (holder.pid == 0) {
    close(answer[0]);
    char result = TestAndClaimInstance(file).free ? 'F' : 'T';
    (void)!write(answer[1], &result, 1);
    pause();
    _exit(0);
  }
  close(answer[1]);
  char result = 0;
  (void)!read(answer[0], &result, 1);
  close(answer[0]);
  holder.claimed = result == 'F';
  return holder;
}

double SecondsOf(const std::function<void()>& step) {
  auto start = std::chrono::steady_clock::now();
  step();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(InstanceGuardTest, TheContentAloneNeverDeniesAStart) {
  // No launcher holds the claim, so the start proceeds whatever ID the file names.
  pid_t live = LivePID();
  const struct {
    const char* name;
    std::string content;
  } cases[] = {
      {"no file", ""},
      {"a dead claim", std::to_string(DeadPID()) + "\n"},
      {"an unrelated live process", std::to_string(live) + "\n"},
      {"the own ID", std::to_string(getpid()) + "\n"},
      {"process group 0", "garbage\n"},
  };
  for (const auto& c : cases) {
    unlink(File().c_str());
    if (!c.content.empty()) WriteFile(File(), c.content);
    InstanceState state = TestAndClaimInstance(File());
    EXPECT_TRUE(state.free) << c.name;
    EXPECT_TRUE(state.guardable) << c.name;
    EXPECT_EQ(state.firstLine, c.content.substr(0, c.content.find('\n'))) << c.name;
    EXPECT_EQ(ReadFile(File()), std::to_string(getpid()) + "\n") << c.name << ": claimed";
    ASSERT_GE(state.lockFd, 0) << c.name;
    // The lock must not reach the shells, the engine or the X server.
    EXPECT_TRUE(fcntl(state.lockFd, F_GETFD) & FD_CLOEXEC) << c.name;
    ReleaseInstance(File(), &state);
    EXPECT_EQ(ReadFile(File()), "Not Running\n") << c.name;
  }
  EndChild(live);
}

TEST_F(InstanceGuardTest, AHeldClaimDeniesUntilItsHolderDies) {
  ScopedEnv bound(kWaitBoundVariable, "2");
  Holder holder = StartHolder(File());
  ASSERT_TRUE(holder.claimed);
  const std::string claim = std::to_string(holder.pid) + "\n";
  ASSERT_EQ(ReadFile(File()), claim);
  InstanceState state = TestAndClaimInstance(File());
  EXPECT_FALSE(state.free);
  EXPECT_TRUE(state.guardable);
  EXPECT_EQ(state.firstLine, std::to_string(holder.pid));
  EXPECT_EQ(state.lockFd, -1);
  EXPECT_EQ(ReadFile(File()), claim) << "a denied start leaves the file as it was";

  // kill -9 drops the lock; a live process that has since been given the ID blocks nothing.
  EndChild(holder.pid);
  pid_t reused = LivePID();
  WriteFile(File(), std::to_string(reused) + "\n");
  double seconds = SecondsOf([&] { state = TestAndClaimInstance(File()); });
  EXPECT_TRUE(state.free);
  EXPECT_LT(seconds, 1.0) << "the start proceeds at once";
  EXPECT_EQ(ReadFile(File()), std::to_string(getpid()) + "\n");
  ReleaseInstance(File(), &state);
  EndChild(reused);
}

TEST_F(InstanceGuardTest, NoProcessThatALauncherStartedKeepsTheClaim) {
  const std::string leftover = bundle.root + "/leftover.pid";
  pid_t launcher = fork();
  ASSERT_GE(launcher, 0);
  if (launcher == 0) {
    // A claim, then a background process that outlives its launcher, as a Wine process may.
    InstanceState state = TestAndClaimInstance(File());
    std::system(("sleep 30 & echo $! > '" + leftover + "'").c_str());
    _exit(state.free ? 0 : 1);
  }
  int status = 0;
  waitpid(launcher, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const pid_t sleeper = static_cast<pid_t>(std::atoi(ReadFile(leftover).c_str()));
  ASSERT_GT(sleeper, 0);
  ASSERT_EQ(kill(sleeper, 0), 0);
  InstanceState state = TestAndClaimInstance(File());
  EXPECT_TRUE(state.free) << "the leftover process holds the lock";
  ReleaseInstance(File(), &state);
  kill(sleeper, SIGKILL);
}

// Returns a child that locks the instance file as a claim does, then after delaySeconds writes
// its ID into it (never, for a negative delay), and holds the lock until killed.
pid_t StartSlowHolder(const std::string& file, double delaySeconds) {
  int ready[2];
  if (pipe(ready) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const int lock = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) _exit(1);
    (void)!write(ready[1], "x", 1);
    if (delaySeconds >= 0) {
      usleep(static_cast<useconds_t>(delaySeconds * 1e6));
      WriteFile(file, std::to_string(getpid()) + "\n");
    }
    pause();
    _exit(0);
  }
  close(ready[1]);
  char byte;
  (void)!read(ready[0], &byte, 1);
  close(ready[0]);
  return pid;
}

TEST_F(InstanceGuardTest, ADenialWaitsBrieflyForTheHolderToWriteItsID) {
  ScopedEnv bound(kWaitBoundVariable, "2");
  // The holder has locked but not yet written its ID; the denial names it once it is there.
  WriteFile(File(), "Not Running\n");
  pid_t holder = StartSlowHolder(File(), 0.3);
  ASSERT_GT(holder, 0);
  InstanceState state;
  double seconds = SecondsOf([&] { state = TestAndClaimInstance(File()); });
  EXPECT_FALSE(state.free);
  EXPECT_EQ(state.firstLine, std::to_string(holder));
  EXPECT_LT(seconds, 1.9);
  EndChild(holder);

  // A holder that never writes one: the denial comes at the bound, with the line as read.
  WriteFile(File(), "Not Running\n");
  holder = StartSlowHolder(File(), -1);
  ASSERT_GT(holder, 0);
  seconds = SecondsOf([&] { state = TestAndClaimInstance(File()); });
  EXPECT_FALSE(state.free);
  EXPECT_EQ(state.firstLine, "Not Running");
  EXPECT_GE(seconds, 1.5);
  EXPECT_LT(seconds, 10.0);
  EndChild(holder);
}

TEST_F(InstanceGuardTest, AnInstanceFileThatIsNoRegularFileCannotGuard) {
  ScopedEnv bound(kWaitBoundVariable, "2");
  const struct {
    const char* name;
    std::function<void(const std::string&)> make;
  } cases[] = {
      {"FIFO", [](const std::string& path) { mkfifo(path.c_str(), 0644); }},
      {"folder", [](const std::string& path) { mkdir(path.c_str(), 0755); }},
      {"link to /dev/zero", [](const std::string& path) { (void)!symlink("/dev/zero", path.c_str()); }},
  };
  for (const auto& c : cases) {
    c.make(File());
    struct stat before;
    ASSERT_EQ(lstat(File().c_str(), &before), 0) << c.name;
    InstanceState state;
    double seconds = SecondsOf([&] { state = TestAndClaimInstance(File()); });
    EXPECT_FALSE(state.free) << c.name;
    EXPECT_FALSE(state.guardable) << c.name;
    EXPECT_EQ(state.lockFd, -1) << c.name;
    EXPECT_LT(seconds, 1.0) << c.name;
    struct stat after;
    ASSERT_EQ(lstat(File().c_str(), &after), 0) << c.name;
    EXPECT_EQ(after.st_mode, before.st_mode) << c.name << ": left as it was";
    EXPECT_TRUE(IsInstanceFree(File()).free) << c.name << ": reads as no line";
    std::error_code error;
    std::filesystem::remove(File(), error);
  }
  EXPECT_EQ(UnguardableMessage(Launcher::kValnor, "/B.app/Contents/.AlreadyRunningPID"),
            "Valnor: cannot guard its wrapper bundle, because /B.app/Contents/.AlreadyRunningPID "
            "is not a regular file; remove it, then start again. Nothing was started.");
}

TEST_F(InstanceGuardTest, AHugeInstanceFileIsReadOnlyToItsBound) {
  {
    std::ofstream out(File(), std::ios::binary);
    const std::string block(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) out << block;
  }
  InstanceState state = TestAndClaimInstance(File());
  EXPECT_TRUE(state.free);
  EXPECT_EQ(state.firstLine.size(), kReadLimit);
  EXPECT_EQ(ReadFile(File()), std::to_string(getpid()) + "\n");
  ReleaseInstance(File(), &state);
}

TEST_F(InstanceGuardTest, OfTwoLaunchersStartedTogetherExactlyOneProceeds) {
  for (int round = 0; round < 50; ++round) {
    MarkInstanceNotRunning(File());
    int go[2], results[2], hold[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(results), 0);
    ASSERT_EQ(pipe(hold), 0);
    pid_t children[2];
    for (pid_t& child : children) {
      child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        close(go[1]);
        close(results[0]);
        close(hold[1]);
        char byte;
        // Both wait for the same release, then test and claim; each stays alive until both did.
        (void)!read(go[0], &byte, 1);
        char answer = TestAndClaimInstance(File()).free ? 'F' : 'T';
        (void)!write(results[1], &answer, 1);
        (void)!read(hold[0], &byte, 1);
        _exit(0);
      }
    }
    close(go[0]);
    close(results[1]);
    close(hold[0]);
    close(go[1]);
    std::string answers;
    char byte;
    while (answers.size() < 2 && read(results[0], &byte, 1) == 1) answers += byte;
    close(results[0]);
    close(hold[1]);
    for (pid_t child : children) waitpid(child, nullptr, 0);
    ASSERT_EQ(answers.size(), 2u) << "round " << round;
    EXPECT_EQ((answers[0] == 'F') + (answers[1] == 'F'), 1) << "round " << round << ": " << answers;
  }
}

TEST(DenialTest, ComposesTheDenialLinesByteForByte) {
  EXPECT_EQ(ComposeDenialCommand(Launcher::kValnor, "812"),
            "echo \"Someone attempted to run Valnor while it was already running on PID number "
            "812 in the same wrapper! RUN DENIED!!\"");
  EXPECT_EQ(ComposeDenialCommand(Launcher::kBrackenfold, "812 word"),
            "echo \"Someone attempted to run Brackenfold while something was already running on "
            "PID number 812 word in the same wrapper! RUN DENIED!!\"");
  EXPECT_EQ(ComposeDenialCommand(Launcher::kValnor, "a\"b$c`d"),
            "echo \"Someone attempted to run Valnor while it was already running on PID number "
            "a\\\"b\\$c\\`d in the same wrapper! RUN DENIED!!\"");
}

TEST_F(InstanceGuardTest, PrintsAHostileFirstLineAsReadAndRunsNothing) {
  const std::string canary = bundle.root + "/canary";
  const std::string line = "812\" ; touch " + canary + " ; \" $(touch " + canary + ") `touch " +
                           canary + "` $HOME '";
  struct Case {
    Launcher launcher;
    std::string text;
  };
  const Case cases[] = {
      {Launcher::kValnor, "Valnor while it was already running"},
      {Launcher::kBrackenfold, "Brackenfold while something was already running"},
  };
  for (const Case& c : cases) {
    const std::string out = bundle.root + "/denial.out";
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (!freopen(out.c_str(), "w", stdout)) _exit(126);
      PrintDenial(c.launcher, line);
      _exit(0);
    }
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(ReadFile(out), "Someone attempted to run " + c.text + " on PID number " + line +
                                 " in the same wrapper! RUN DENIED!!\n");
    EXPECT_FALSE(PathExists(canary));
  }
}

}  // namespace
