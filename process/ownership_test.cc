#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "bundle/companions.h"
#include "platform/process_state.h"
#include "process/snapshots.h"
#include "tests/fixture.h"

namespace {

// A bundle plus sleeping processes started in chosen folders with chosen environments.
class OwnershipTest : public BundleTest {
 protected:
  void SetUp() override {
    BundleTest::SetUp();
    bool known = false;
    ProcessEnvironmentValue(getpid(), "PATH", &known);
    if (!known) GTEST_SKIP() << "the environment of other processes cannot be read here";
  }
  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    BundleTest::TearDown();
  }

  // Returns the ID of a sleep running in folder, with WINEPREFIX=prefix unless prefix is nothing;
  // returns once the sleep has been executed.
  pid_t StartSleep(const std::string& folder, const std::optional<std::string>& prefix) {
    std::string variable = "WINEPREFIX=" + prefix.value_or("");
    char* env[] = {prefix ? const_cast<char*>(variable.c_str()) : nullptr, nullptr};
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    fcntl(ready[1], F_SETFD, FD_CLOEXEC);
    pid_t pid = fork();
    if (pid == 0) {
      close(ready[0]);
      if (chdir(folder.c_str()) != 0) _exit(126);
      char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
      execve("/bin/sleep", argv, env);
      _exit(127);
    }
    close(ready[1]);
    char byte;
    // The pipe closes when the exec succeeds (or the child ends).
    while (read(ready[0], &byte, 1) > 0) {
    }
    close(ready[0]);
    EXPECT_GT(pid, 0);
    started_.push_back(pid);
    return pid;
  }

  std::string Contents() const { return bundle.paths.macos + "/.."; }
  std::string Prefix() const { return bundle.contents + "/SharedSupport/Ambergate/support/default"; }

 private:
  std::vector<pid_t> started_;
};

TEST_F(OwnershipTest, KnowsProcessesOfOtherBundlesByFolderAndPrefix) {
  namespace fs = std::filesystem;
  const std::string other = bundle.root + "/Other.app/Contents";
  const std::string sibling = bundle.app + "/ContentsOld";
  fs::create_directories(other + "/MacOS");
  fs::create_directories(sibling);
  fs::create_symlink(bundle.contents, bundle.root + "/link");
  struct Case {
    const char* name;
    std::string folder;
    std::optional<std::string> prefix;
    bool mayBelong;
  };
  const Case cases[] = {
      {"in MacOS", bundle.paths.macos, std::nullopt, true},
      {"in Contents itself", bundle.contents, std::nullopt, true},
      {"in MacOS, foreign prefix", bundle.paths.macos, other + "/prefix", true},
      {"outside, no prefix", bundle.root, std::nullopt, false},
      {"in another bundle", other + "/MacOS", std::nullopt, false},
      {"in a sibling named alike", sibling, std::nullopt, false},
      {"outside, own prefix", "/", Prefix(), true},
      {"outside, prefix through a link", "/", bundle.root + "/link/SharedSupport", true},
      {"outside, prefix with ..", "/", bundle.paths.macos + "/../SharedSupport", true},
      {"outside, another bundle's prefix", "/", other + "/SharedSupport", false},
      {"outside, sibling prefix", "/", sibling, false},
      {"outside, empty prefix", "/", std::string(), false},
  };
  for (const Case& c : cases) {
    pid_t pid = StartSleep(c.folder, c.prefix);
    EXPECT_EQ(ProcessMayBelongToBundle(pid, Contents()), c.mayBelong) << c.name;
    // Where it is known, the positive test agrees.
    EXPECT_EQ(ProcessWorksInBundle(pid, Contents()), c.mayBelong) << c.name;
  }
}

TEST_F(OwnershipTest, GivesTheBenefitOfTheDoubtWhenNothingCanBeLearnt) {
  pid_t dead = fork();
  ASSERT_GE(dead, 0);
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  EXPECT_TRUE(ProcessMayBelongToBundle(dead, Contents()));
  EXPECT_TRUE(ProcessMayBelongToBundle(5000101, Contents()));
  // The positive test wants to know.
  EXPECT_FALSE(ProcessWorksInBundle(dead, Contents()));
  EXPECT_FALSE(ProcessWorksInBundle(5000101, Contents()));
  // Without a Contents folder to compare with, nothing is known either.
  pid_t outside = StartSleep("/", std::nullopt);
  EXPECT_TRUE(ProcessMayBelongToBundle(outside, bundle.root + "/missing"));
}

TEST_F(OwnershipTest, FindNewPIDPassesOverProcessesOfOtherBundles) {
  pid_t outsider = StartSleep("/", std::nullopt);
  pid_t x11 = StartSleep(bundle.paths.macos, std::nullopt);
  pid_t wine = StartSleep("/", Prefix());
  const std::string before = BeforeSnapshotFile(bundle.paths.macos);
  const std::string after = AfterSnapshotFile(bundle.paths.macos);
  WriteFile(before, "");
  WriteFile(after, std::to_string(outsider) + "\n" + std::to_string(x11) + "\n");
  EXPECT_EQ(FindNewPID(bundle.paths.macos, before, after), x11);
  WriteFile(after, std::to_string(outsider) + "\n" + std::to_string(wine) + "\n");
  EXPECT_EQ(FindNewPID(bundle.paths.macos, before, after), wine);
  WriteFile(after, std::to_string(outsider) + "\n");
  EXPECT_EQ(FindNewPID(bundle.paths.macos, before, after), std::nullopt);
}

// Before the final signal: the held server must still live, be no zombie and not belong to
// another bundle by the snapshots' test.
TEST_F(OwnershipTest, OnlyALiveServerOfThisBundleIsStillOurs) {
  HeldProcess own = HoldProcess(StartSleep(bundle.paths.macos, std::nullopt));
  HeldProcess stranger = HoldProcess(StartSleep(bundle.root, std::nullopt));
  EXPECT_TRUE(IsStillOurServer(own, bundle.paths.macos));
  EXPECT_FALSE(IsStillOurServer(stranger, bundle.paths.macos));
  EXPECT_FALSE(IsStillOurServer(HeldProcess(), bundle.paths.macos));
  // Ended but not reaped: a zombie is not the server any more.
  kill(own.pid, SIGKILL);
  for (int i = 0; i < 1000 && !IsZombieProcess(own.pid); ++i) usleep(1000);
  ASSERT_TRUE(IsZombieProcess(own.pid));
  EXPECT_FALSE(IsStillOurServer(own, bundle.paths.macos));
  LetGoOfProcess(&own);
  LetGoOfProcess(&stranger);
}

}  // namespace
