// Odd entries in place of the files a launcher reads: a FIFO, a folder, a link to /dev/zero and a
// 100 MB file, for the instance file, both snapshot files, the scratch file and Info.plist. Each
// run ends within its bound with exit status 0 and the effect that file calls for; the links to
// /dev/zero are read under a memory limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "faults/fault_helpers.h"
#include "process/instance_guard.h"
#include "tests/launch_helpers.h"

namespace {

const double kBound = 1;   // QUILLON_WAIT_SECONDS
const double kSlack = 10;  // what a run may take beyond its bound on a loaded machine

#if defined(__SANITIZE_ADDRESS__)
const bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
const bool kAddressSanitizer = true;
#else
const bool kAddressSanitizer = false;
#endif
#else
const bool kAddressSanitizer = false;
#endif

enum class Odd { kFifo, kFolder, kDevZero, kHuge };
const Odd kOdds[] = {Odd::kFifo, Odd::kFolder, Odd::kDevZero, Odd::kHuge};

const char* NameOf(Odd odd) {
  switch (odd) {
    case Odd::kFifo: return "FIFO";
    case Odd::kFolder: return "folder";
    case Odd::kDevZero: return "link to /dev/zero";
    case Odd::kHuge: return "100 MB file";
  }
  return "";
}

// Puts the odd entry at path in place of whatever lies there.
void Plant(const std::string& path, Odd odd) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  switch (odd) {
    case Odd::kFifo:
      ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
      break;
    case Odd::kFolder:
      ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
      break;
    case Odd::kDevZero:
      ASSERT_EQ(symlink("/dev/zero", path.c_str()), 0);
      break;
    case Odd::kHuge: {
      // A line of text without a line feed, then zeros up to 100 MB (sparse, so it costs no disk).
      WriteFile(path, std::string(1 << 20, 'x'));
      ASSERT_EQ(truncate(path.c_str(), 100L << 20), 0);
      break;
    }
  }
}

// Returns true when the entry at path is still of the planted kind.
bool StillPlanted(const std::string& path, Odd odd) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return false;
  switch (odd) {
    case Odd::kFifo: return S_ISFIFO(info.st_mode);
    case Odd::kFolder: return S_ISDIR(info.st_mode);
    case Odd::kDevZero: return S_ISLNK(info.st_mode);
    case Odd::kHuge: return S_ISREG(info.st_mode);
  }
  return false;
}

class FaultsStateFiles : public ::testing::Test {
 protected:
  void TearDown() override { RemoveTestBundle(bundle_); }

  // Makes a fresh bundle, lets spoil damage it, runs the launcher (under a memory limit for the
  // links to /dev/zero) and checks what every case shares: in time, status 0, nothing left running.
  TimedRun Run(const std::string& program, Odd odd, const std::function<void(const TestBundle&)>& spoil) {
    RemoveTestBundle(bundle_);
    bundle_ = MakeFaultBundle();
    spoil(bundle_);
    LaunchPlan plan = PlanFor(bundle_, program, kBound);
    if (odd == Odd::kDevZero && !kAddressSanitizer) {
      // 512 MiB of address space: a read without end would run out of it.
      plan.options.args = {"-c", "ulimit -v 524288 && exec \"$0\"", plan.program};
      plan.program = "/bin/sh";
      plan.argv0 = "sh";
    }
    TimedRun run = RunTimed(plan, bundle_.root, 60);
    EXPECT_FALSE(run.result.timedOut);
    EXPECT_EQ(run.result.exitStatus, 0) << run.result.err;
    EXPECT_LT(run.seconds, 2 * kBound + kSlack);
    EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5)) << "a stand-in server was left running";
    return run;
  }

  // The checks of a run that went its whole way.
  void ExpectCompleteRun(const TimedRun& run) {
    EXPECT_EQ(run.result.out, "");
    EXPECT_EQ(RecordedCalls(bundle_, "wine"), 1) << run.result.err;
    EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
    EXPECT_FALSE(PathExists(bundle_.paths.tempFile));
  }

  // Returns the words the engine got, with the bundle's temporary folder left out.
  std::vector<std::string> WineArgs() const {
    std::vector<std::string> words = RecordedArgs(bundle_, "wine");
    for (std::string& word : words) {
      if (word.compare(0, bundle_.root.size(), bundle_.root) == 0) word.erase(0, bundle_.root.size());
    }
    return words;
  }

  TestBundle bundle_;
};

TEST_F(FaultsStateFiles, InstanceFile) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    for (Odd odd : kOdds) {
      SCOPED_TRACE(std::string(program) + " / " + NameOf(odd));
      const Launcher launcher = std::string(program) == "Valnor" ? Launcher::kValnor : Launcher::kBrackenfold;
      TimedRun run = Run(program, odd, [odd](const TestBundle& b) { Plant(b.paths.instanceFile, odd); });
      if (odd == Odd::kHuge) {
        // A regular file, however long: nobody holds the claim, so the start proceeds.
        ExpectCompleteRun(run);
        continue;
      }
      // Nothing can be guarded: one line says so and what to do, and nothing starts.
      EXPECT_EQ(run.result.err, UnguardableMessage(launcher, bundle_.paths.instanceFile) + "\n");
      EXPECT_EQ(run.result.out, "");
      EXPECT_EQ(RecordedCalls(bundle_, "pidof"), 0);
      EXPECT_EQ(RecordedCalls(bundle_, "zenity"), 0);
      EXPECT_EQ(RecordedCalls(bundle_, "wine"), 0);
      EXPECT_TRUE(StillPlanted(bundle_.paths.instanceFile, odd));
    }
  }
}

TEST_F(FaultsStateFiles, SnapshotFiles) {
  for (const char* name : {"/.firstpidfile", "/.secondpidfile"}) {
    for (const char* program : {"Valnor", "Brackenfold"}) {
      for (Odd odd : kOdds) {
        SCOPED_TRACE(std::string(name) + " / " + program + " / " + NameOf(odd));
        TimedRun run = Run(program, odd, [&](const TestBundle& b) { Plant(b.contents + name, odd); });
        if (odd == Odd::kHuge) {
          // pidof's output replaces it before it is read.
          ExpectCompleteRun(run);
          continue;
        }
        // No snapshot can be taken: no server starts, the X11 message is shown, and the bundle
        // is released.
        EXPECT_EQ(RecordedCalls(bundle_, "QVX11Server"), 0);
        EXPECT_EQ(RecordedCalls(bundle_, "wine"), 0);
        EXPECT_NE(run.result.err.find("X11 server did not start"), std::string::npos) << run.result.err;
        EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
        EXPECT_TRUE(StillPlanted(bundle_.contents + name, odd));
      }
    }
  }
}

TEST_F(FaultsStateFiles, ScratchFile) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    for (Odd odd : kOdds) {
      SCOPED_TRACE(std::string(program) + " / " + NameOf(odd));
      // A leftover (the folder an empty one) is cleared before anything is written into it.
      TimedRun run = Run(program, odd, [odd](const TestBundle& b) { Plant(b.paths.tempFile, odd); });
      ExpectCompleteRun(run);
      EXPECT_EQ(RecordedArgs(bundle_, "wine").back(),
                std::string(program) == "Valnor" ? bundle_.paths.driveC + "/Program Files/Example/Example.exe"
                                                 : "/Users/u/setup.exe");
    }
  }
}

TEST_F(FaultsStateFiles, InfoPlist) {
  for (const char* program : {"Valnor", "Brackenfold"}) {
    // The reference: the same bundle without any Info.plist.
    TimedRun missing = Run(program, Odd::kFifo, [](const TestBundle& b) { std::remove(b.paths.infoPlist.c_str()); });
    const std::vector<std::string> expectedWine = WineArgs();
    const std::string expectedInstance = ReadFile(bundle_.paths.instanceFile);
    const int expectedDialogs = RecordedCalls(bundle_, "zenity");
    for (Odd odd : kOdds) {
      SCOPED_TRACE(std::string(program) + " / " + NameOf(odd));
      // It reads as no settings at all, whatever the entry.
      TimedRun run = Run(program, odd, [odd](const TestBundle& b) { Plant(b.paths.infoPlist, odd); });
      EXPECT_EQ(run.result.out, missing.result.out);
      EXPECT_EQ(WineArgs(), expectedWine);
      EXPECT_EQ(RecordedCalls(bundle_, "zenity"), expectedDialogs);
      EXPECT_EQ(ReadFile(bundle_.paths.instanceFile) == "Not Running\n", expectedInstance == "Not Running\n");
      EXPECT_TRUE(StillPlanted(bundle_.paths.infoPlist, odd));
    }
  }
}

}  // namespace
