#include "display/x11_server.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "bundle/companions.h"
#include "bundle/text_file.h"
#include "platform/process_state.h"
#include "tests/fixture.h"
#include "tests/scoped_env.h"

namespace {

TestBundle MakeBundleWithoutX11App() {
  TestBundleOptions options;
  options.x11App = "";
  return MakeTestBundle(options);
}

TEST(CutX11AppName, Table) {
  const std::string m = "/A/W.app/Contents/MacOS";
  const struct {
    std::string line;
    std::string macos;
    std::string expected;
  } cases[] = {
      {m + "/X.app/.X11location", m, "X.app"},
      {m + "/sub/X.app/.X11location", m, "sub/X.app"},
      {m + "/X.app/Contents/.X11location", m, "X.app/Contents"},
      {m + "/.X11location", m, ""},
      {"", m, ""},
      {"no slash at all", m, "no slash at all"},
      {"/elsewhere/X.app/.X11location", m, "/elsewhere/X.app"},  // macos not found: first cut only
      {m + "/X.app/" + m + "/.X11location", m, "X.app/" + m},    // first occurrence only
      {"/M/MacOS/x", "/M/MacOS", ""},                             // fewer characters than to cut
      {"/Space Folder/W.app/Contents/MacOS/X 1.app/.X11location",
       "/Space Folder/W.app/Contents/MacOS", "X 1.app"},
  };
  for (const auto& c : cases) EXPECT_EQ(CutX11AppName(c.line, c.macos), c.expected) << c.line;
}

TEST(ComposeX11Commands, MatchTheTemplates) {
  const std::string m = "/A/W.app/Contents/MacOS";
  EXPECT_EQ(ComposeFindMarkerCommand(m, m + "/QVTempfile"),
            "/usr/bin/find \"/A/W.app/Contents/MacOS\" -name .X11location > "
            "\"/A/W.app/Contents/MacOS/QVTempfile\"");
  EXPECT_EQ(ComposeX11StartCommand(m, "X.app", ":517"),
            "export VERSIONER_PERL_PREFER_32_BIT=yes; PROGFOLD=\"/A/W.app/Contents/MacOS\"; "
            "RESOFOLD=\"${PROGFOLD%/*S}/Resources\"; cd \"$PROGFOLD\"; "
            "\"./X.app/Contents/MacOS/QVX11Server\" :517 > \"/$RESOFOLD/Logs/LastX11.log\" 2>&1 &");
  EXPECT_EQ(ComposeX11StartCommand("/My Apps/W.app/Contents/MacOS", "sub/X 2.app", ":5"),
            "export VERSIONER_PERL_PREFER_32_BIT=yes; PROGFOLD=\"/My Apps/W.app/Contents/MacOS\"; "
            "RESOFOLD=\"${PROGFOLD%/*S}/Resources\"; cd \"$PROGFOLD\"; "
            "\"./sub/X 2.app/Contents/MacOS/QVX11Server\" :5 > \"/$RESOFOLD/Logs/LastX11.log\" 2>&1 &");
}

TEST(GetQVX11AppName, FindsTheFirstMarker) {
  const struct {
    const char* markerFolder;  // relative to MacOS; nullptr: no marker
    const char* expected;
  } cases[] = {
      {"X.app", "X.app"},
      {"sub/X.app", "sub/X.app"},
      {"X.app/Contents", "X.app/Contents"},
      {"", ""},
      {nullptr, ""},
  };
  for (const auto& c : cases) {
    TestBundle bundle = MakeBundleWithoutX11App();
    const std::string& m = bundle.paths.macos;
    if (c.markerFolder != nullptr) {
      std::string folder = std::string(c.markerFolder).empty() ? m : m + "/" + c.markerFolder;
      std::filesystem::create_directories(folder);
      WriteFile(folder + "/.X11location", "");
    }
    EXPECT_EQ(GetQVX11AppName(m), c.expected) << (c.markerFolder ? c.markerFolder : "none");
    EXPECT_FALSE(PathExists(bundle.paths.tempFile));
    RemoveTestBundle(bundle);
  }
}

TEST(GetQVX11AppName, SeveralMarkersOneWinsAndTheScratchFileGoes) {
  TestBundle bundle = MakeTestBundle();  // QVX11.app carries one marker
  const std::string& m = bundle.paths.macos;
  std::filesystem::create_directories(m + "/Other.app");
  WriteFile(m + "/Other.app/.X11location", "");
  std::filesystem::create_directories(m + "/deep/Third.app");
  WriteFile(m + "/deep/Third.app/.X11location", "");
  const std::string name = GetQVX11AppName(m);
  EXPECT_TRUE(name == "QVX11.app" || name == "Other.app" || name == "deep/Third.app") << name;
  EXPECT_FALSE(PathExists(bundle.paths.tempFile));
  RemoveTestBundle(bundle);
}

TEST(DisplayForRandomValue, Table) {
  const struct {
    int r;
    const char* display;
  } cases[] = {
      {0, ":7"},           {3000, ":8"},          {9000, ":5"},        {21474000, ":7160"},
      {21474837, ":7156"}, {1000000000, ":4054"}, {2147483647, ":7"},  {2999, ":7"},
      {6000, ":9"},        {42949673, ":7"},     {42934672, ":8"},      {42943672, ":5"},
  };
  for (const auto& c : cases) EXPECT_EQ(DisplayForRandomValue(c.r), c.display) << c.r;
}

TEST(DisplayForRandomValue, StaysWithinFiveTo7160) {
  for (int64_t r = 0; r <= 2147483647; r += 104729) {
    std::string display = DisplayForRandomValue(static_cast<int>(r));
    ASSERT_EQ(display[0], ':');
    int n = std::stoi(display.substr(1));
    EXPECT_GE(n, 5) << r;
    EXPECT_LE(n, 7160) << r;
  }
}

TEST(SetDisplay, FollowsTheGeneratorSeededWithTheSecond) {
  // Retried in case the second changes between the calls.
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::time_t before = std::time(nullptr);
    std::string first = SetDisplay();
    std::string second = SetDisplay();
    std::srand(static_cast<unsigned>(before));
    std::string expected = DisplayForRandomValue(std::rand());
    if (std::time(nullptr) != before) continue;
    EXPECT_EQ(first, second);
    EXPECT_EQ(first, expected);
    return;
  }
  FAIL() << "the clock's second never held still for two calls";
}

class X11Start : public BundleTest {};

TEST_F(X11Start, StartsTheServerInTheMacosFolderAndLearnsItsID) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "20");
  const int32_t pid = StartQVX11(bundle.paths.macos, GetQVX11AppName(bundle.paths.macos), ":517");
  std::vector<pid_t> live = LiveStandIns(bundle, "QVX11Server");
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(pid, live[0]);
  EXPECT_EQ(RecordedArgs(bundle, "QVX11Server"), std::vector<std::string>{":517"});
  EXPECT_EQ(ReadFile(bundle.record + "/QVX11Server.cwd"), ResolvedPath(bundle.paths.macos) + "\n");
  EXPECT_EQ(RecordedEnv(bundle, "QVX11Server")["VERSIONER_PERL_PREFER_32_BIT"], "yes");
  EXPECT_EQ(RecordedEnv(bundle, "QVX11Server").count("PROGFOLD"), 0u);
  EXPECT_EQ(ReadFile(bundle.contents + "/Resources/Logs/LastX11.log"),
            "stand-in X11 server serving :517\n");
  EXPECT_TRUE(PathExists(bundle.contents + "/.firstpidfile"));
}

TEST_F(X11Start, ServerThatNeverComesUpGivesZeroAfterTheBound) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "1");
  WriteFile(bundle.control + "/x11", "never");
  EXPECT_EQ(StartQVX11(bundle.paths.macos, bundle.x11App, ":9"), 0);
  EXPECT_EQ(RecordedCalls(bundle, "QVX11Server"), 1);
  EXPECT_TRUE(LiveStandIns(bundle, "QVX11Server").empty());
}

TEST(X11StartWithoutLogs, ShellNeverStartsTheServer) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "1");
  TestBundleOptions options;
  options.withLogs = false;
  TestBundle bundle = MakeTestBundle(options);
  EXPECT_EQ(StartQVX11(bundle.paths.macos, bundle.x11App, ":9"), 0);
  EXPECT_EQ(RecordedCalls(bundle, "QVX11Server"), 0);
  RemoveTestBundle(bundle);
}

TEST(X11StartHostilePath, ValuesReachTheServerUnchangedAndRunNothing) {
  TestBundleOptions options;
  options.appFolder =
      "Odd $(touch \"$QUILLON_CANARY\") `touch \"$QUILLON_CANARY\"` \" \\ ${HOME} W.app";
  TestBundle bundle = MakeTestBundle(options);
  const std::string canary = bundle.root + "/canary";
  ScopedEnv canaryName("QUILLON_CANARY", canary);
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "20");
  const std::string name = GetQVX11AppName(bundle.paths.macos);
  EXPECT_EQ(name, "QVX11.app");
  EXPECT_FALSE(PathExists(bundle.paths.tempFile));
  const int32_t pid = StartQVX11(bundle.paths.macos, name, ":600");
  std::vector<pid_t> live = LiveStandIns(bundle, "QVX11Server");
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(pid, live[0]);
  EXPECT_EQ(ReadFile(bundle.record + "/QVX11Server.cwd"), ResolvedPath(bundle.paths.macos) + "\n");
  EXPECT_EQ(ReadFile(bundle.contents + "/Resources/Logs/LastX11.log"),
            "stand-in X11 server serving :600\n");
  EXPECT_FALSE(PathExists(canary));
  RemoveTestBundle(bundle);
}

}  // namespace
