#include "process/instance_guard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "tests/fixture.h"

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
      {"own process", "SELF\n", false},
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
  // 2^32 + own ID narrows to the own ID.
  std::string line = std::to_string(4294967296LL + getpid());
  WriteFile(File(), line + "\n");
  EXPECT_FALSE(IsInstanceFree(File()).free);
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

TEST_F(InstanceGuardTest, TestAndClaimClaimsOnlyWhenFree) {
  const std::string own = std::to_string(getpid()) + "\n";
  InstanceState state = TestAndClaimInstance(File());
  EXPECT_TRUE(state.free);
  EXPECT_EQ(ReadFile(File()), own) << "no file: claimed";

  pid_t dead = DeadPID();
  WriteFile(File(), std::to_string(dead) + "\n");
  state = TestAndClaimInstance(File());
  EXPECT_TRUE(state.free);
  EXPECT_EQ(ReadFile(File()), own) << "a dead claim is overwritten";

  pid_t live = LivePID();
  const std::string taken = std::to_string(live) + "\n";
  WriteFile(File(), taken);
  state = TestAndClaimInstance(File());
  EXPECT_FALSE(state.free);
  EXPECT_EQ(state.firstLine, std::to_string(live));
  EXPECT_EQ(ReadFile(File()), taken) << "a denied start leaves the file as it was";
  EndChild(live);
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
