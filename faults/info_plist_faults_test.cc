// Info.plist files that are broken or huge: the launcher must not crash, and must run with the
// settings that the line reader's rules give for them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "faults/fault_helpers.h"
#include "tests/launch_helpers.h"

namespace {

// What the engine stand-in must receive.
enum class Expect {
  kSettings,   // the bundle's own settings: the fixture's program in its folder
  kEmpty,      // every setting empty: drive_c itself as program and working folder
  kNoEngine,   // the engine command cannot run; the run still ends cleanly
};

struct PlistCase {
  const char* name;
  std::function<void(const TestBundle&)> spoil;
  Expect expect;
  bool asNobody = false;
};

void PrintTo(const PlistCase& c, std::ostream* os) { *os << c.name; }

std::string Ordinary() { return InfoPlistText(TestBundleOptions().config); }

// Returns the ordinary text with padding in front of its entries.
std::string Padded(const std::string& padding) {
  std::string text = Ordinary();
  std::string::size_type at = text.find("<dict>\n") + 7;
  return text.substr(0, at) + padding + text.substr(at);
}

std::string Binary(size_t size) {
  std::mt19937 random(7);
  std::string bytes = "bplist00";
  while (bytes.size() < size) bytes += static_cast<char>(random() & 0xff);
  return bytes;
}

std::string HundredMegabytes() {
  std::string line = "\t<!-- " + std::string(1000, 'p') + " -->\n";
  std::string padding;
  padding.reserve(100u << 20);
  while (padding.size() < (100u << 20)) padding += line;
  return Padded(padding);
}

const PlistCase kCases[] = {
    {"CRLF",
     [](const TestBundle& b) {
       std::string text;
       for (char c : Ordinary()) text += c == '\n' ? std::string("\r\n") : std::string(1, c);
       WriteFile(b.paths.infoPlist, text);
     },
     Expect::kEmpty},
    {"binary", [](const TestBundle& b) { WriteFile(b.paths.infoPlist, Binary(4096)); },
     Expect::kEmpty},
    {"empty", [](const TestBundle& b) { WriteFile(b.paths.infoPlist, ""); }, Expect::kEmpty},
    {"100 MB", [](const TestBundle& b) { WriteFile(b.paths.infoPlist, HundredMegabytes()); },
     Expect::kSettings},
    {"10 MB line",
     [](const TestBundle& b) {
       WriteFile(b.paths.infoPlist, Padded("\t<!-- " + std::string(10u << 20, 'x') + " -->\n"));
     },
     Expect::kSettings},
    {"10 MB value",
     [](const TestBundle& b) {
       LaunchConfig config = TestBundleOptions().config;
       config.cmdLineFlags = std::string(10u << 20, 'f');
       WriteFile(b.paths.infoPlist, InfoPlistText(config));
     },
     Expect::kNoEngine},
    {"NUL bytes between entries",
     [](const TestBundle& b) {
       WriteFile(b.paths.infoPlist, Padded(std::string("\t<key>\0QVOEMCmdLine</key>\n\0\0\n", 30)));
     },
     Expect::kSettings},
    {"NUL byte in a value",
     [](const TestBundle& b) {
       LaunchConfig config = TestBundleOptions().config;
       config.cmdLineFlags = std::string("-a\0 > /dev/null; touch CANARY", 29);
       WriteFile(b.paths.infoPlist, InfoPlistText(config));
     },
     Expect::kNoEngine},
    {"folder in its place",
     [](const TestBundle& b) {
       unlink(b.paths.infoPlist.c_str());
       mkdir(b.paths.infoPlist.c_str(), 0755);
     },
     Expect::kEmpty},
    {"unreadable", [](const TestBundle& b) { chmod(b.paths.infoPlist.c_str(), 0); },
     Expect::kEmpty, true},
};

class FaultsInfoPlist : public ::testing::TestWithParam<PlistCase> {
 protected:
  void TearDown() override { RemoveTestBundle(bundle_); }
  TestBundle bundle_;
};

TEST_P(FaultsInfoPlist, RunsWithTheSettingsTheRulesGive) {
  const PlistCase& c = GetParam();
  bundle_ = MakeFaultBundle();
  LaunchPlan plan = PlanFor(bundle_, "Valnor", 5);
  if (c.asNobody) {
    HandBundleToNobody(bundle_);
    plan.options.asNobody = true;
  }
  c.spoil(bundle_);
  TimedRun run = RunTimed(plan, bundle_.root, 120);
  EXPECT_FALSE(run.result.timedOut);
  EXPECT_EQ(run.result.signal, 0);
  EXPECT_EQ(run.result.exitStatus, 0) << run.result.err.substr(0, 2000);
  EXPECT_EQ(run.result.out, "");
  const std::string& drive = bundle_.paths.driveC;
  switch (c.expect) {
    case Expect::kSettings:
      EXPECT_EQ(RecordedArgs(bundle_, "wine"),
                (std::vector<std::string>{"--workdir", drive + "/Program Files/Example",
                                          drive + "/Program Files/Example/Example.exe"}));
      break;
    case Expect::kEmpty:
      EXPECT_EQ(RecordedArgs(bundle_, "wine"), (std::vector<std::string>{"--workdir", drive, drive}));
      break;
    case Expect::kNoEngine:
      EXPECT_EQ(RecordedCalls(bundle_, "wine"), 0);
      break;
  }
  EXPECT_EQ(FindNamed(bundle_.root, "CANARY"), std::vector<std::string>{});
  EXPECT_EQ(ReadFile(bundle_.paths.instanceFile), "Not Running\n");
  EXPECT_TRUE(WaitForStandInsToEnd(bundle_, 5));
}

INSTANTIATE_TEST_SUITE_P(Each, FaultsInfoPlist, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PlistCase>& param) {
                           std::string name;
                           for (const char* p = param.param.name; *p; ++p) {
                             if (isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

}  // namespace
