#include "engine/wine_launch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "engine/test_env.h"
#include "platform/process_state.h"
#include "tests/fixture.h"

namespace {

const char kHead[] =
    "export VERSIONER_PERL_PREFER_32_BIT=yes; PROGFOLD=\"/A/W.app/Contents/MacOS\"; "
    "RESOFOLD=\"${PROGFOLD%/*S}/Resources\"; SSFOLD=\"${PROGFOLD%/*S}/SharedSupport\"; export "
    "QV_BOTTLE_PATH=\"$SSFOLD/Ambergate/support\"; export "
    "WINEPREFIX=\"$SSFOLD/Ambergate/support/default\"; export DISPLAY=:517; cd "
    "\"$SSFOLD/Ambergate/bin\"; DYLD_FALLBACK_LIBRARY_PATH=\"$SSFOLD/X11/lib\" "
    "\"$SSFOLD/Ambergate/bin/wine\" --workdir \"/W/drive_c/Program Files/Ex";

TEST(IsBackgroundMode, OnlyTheExactTextFalse) {
  EXPECT_TRUE(IsBackgroundMode("false"));
  for (const char* text : {"true", "", "False", "FALSE", "false ", " false", "false\r", "0", "no"}) {
    EXPECT_FALSE(IsBackgroundMode(text)) << text;
  }
}

TEST(ComposeEngineCommand, MatchesTheTemplatesByteForByte) {
  // The full text of the wrapper's background command without flags.
  EXPECT_EQ(ComposeEngineCommand("/A/W.app/Contents/MacOS", ":517", "/W/drive_c/Program Files/Ex",
                                 "/Program Files/Ex/ex.exe", "", true, ProgramPath::kBelowDriveC),
            std::string(kHead) +
                "\" \"$WINEPREFIX/drive_c/Program Files/Ex/ex.exe\" > "
                "\"/$RESOFOLD/Logs/LastWine.log\" 2>&1 &");
  const struct {
    ProgramPath programPath;
    const char* exe;
    const char* piece;
  } pieces[] = {
      {ProgramPath::kBelowDriveC, "/Program Files/Ex/ex.exe",
       "\" \"$WINEPREFIX/drive_c/Program Files/Ex/ex.exe"},
      {ProgramPath::kBelowDriveC, "ex.exe", "\" \"$WINEPREFIX/drive_cex.exe"},
      {ProgramPath::kFullPath, "/Users/u/Setup.exe", "\" \"/Users/u/Setup.exe"},
  };
  const struct {
    bool background;
    const char* flags;
    const char* tail;
  } tails[] = {
      {false, "-a -b", "\" -a -b > \"/$RESOFOLD/Logs/LastWine.log\" 2>&1"},
      {false, "", "\" > \"/$RESOFOLD/Logs/LastWine.log\" 2>&1"},
      {true, "-a -b", "\" -a -b > \"/$RESOFOLD/Logs/LastWine.log\" 2>&1 &"},
      {true, "", "\" > \"/$RESOFOLD/Logs/LastWine.log\" 2>&1 &"},
      {false, " ", "\"   > \"/$RESOFOLD/Logs/LastWine.log\" 2>&1"},
  };
  for (const auto& p : pieces) {
    for (const auto& t : tails) {
      EXPECT_EQ(ComposeEngineCommand("/A/W.app/Contents/MacOS", ":517",
                                     "/W/drive_c/Program Files/Ex", p.exe, t.flags, t.background,
                                     p.programPath),
                std::string(kHead) + p.piece + t.tail)
          << p.exe << " / " << t.flags << " / " << t.background;
    }
  }
}

TEST(ComposeEngineCommand, EscapesPathsInsideTheirQuotesOnly) {
  const std::string command = ComposeEngineCommand("/A/$x.app/Contents/MacOS", ":5", "/w`d`",
                                                   "/a\"b\\.exe", "$FLAGS", false,
                                                   ProgramPath::kBelowDriveC);
  EXPECT_NE(command.find("PROGFOLD=\"/A/\\$x.app/Contents/MacOS\";"), std::string::npos);
  EXPECT_NE(command.find("--workdir \"/w\\`d\\`\" \"$WINEPREFIX/drive_c/a\\\"b\\\\.exe\" $FLAGS > "),
            std::string::npos)
      << command;
}

// What one launch in a fresh bundle is expected to show the engine stand-in.
struct LaunchCase {
  const char* mode;
  const char* flags;
  ProgramPath programPath;
  std::vector<std::string> flagWords;
};

void CheckLaunch(const LaunchCase& c, const TestBundleOptions& options, const std::string& workdir,
                 const std::string& exe) {
  TestBundle bundle = MakeTestBundle(options);
  const bool background = IsBackgroundMode(c.mode);
  WriteFile(bundle.control + "/wineserver.seconds", background ? "60" : "none");
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "20");
  const std::string label = std::string(c.mode) + " / '" + c.flags + "' / " +
                            (c.programPath == ProgramPath::kFullPath ? "full path" : "drive_c");
  const std::string programArg = c.programPath == ProgramPath::kFullPath
                                     ? bundle.paths.driveC + exe
                                     : exe;
  const int32_t result =
      StartQVwine(bundle.paths.macos, ":517", bundle.paths.driveC + workdir, programArg, c.flags,
                  c.mode, c.programPath);
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 1) << label;
  std::vector<std::string> args = {"--workdir", bundle.paths.driveC + workdir,
                                   bundle.paths.driveC + exe};
  args.insert(args.end(), c.flagWords.begin(), c.flagWords.end());
  EXPECT_EQ(RecordedArgs(bundle, "wine"), args) << label;
  EXPECT_EQ(ReadFile(bundle.record + "/wine.cwd"),
            ResolvedPath(bundle.contents + "/SharedSupport/Ambergate/bin") + "\n")
      << label;
  std::map<std::string, std::string> env = RecordedEnv(bundle, "wine");
  const std::string ss = bundle.contents + "/SharedSupport";
  EXPECT_EQ(env["VERSIONER_PERL_PREFER_32_BIT"], "yes") << label;
  EXPECT_EQ(env["QV_BOTTLE_PATH"], ss + "/Ambergate/support") << label;
  EXPECT_EQ(env["WINEPREFIX"], ss + "/Ambergate/support/default") << label;
  EXPECT_EQ(env["DISPLAY"], ":517") << label;
  EXPECT_EQ(env["DYLD_FALLBACK_LIBRARY_PATH"], ss + "/X11/lib") << label;
  for (const char* shellOnly : {"PROGFOLD", "RESOFOLD", "SSFOLD"}) {
    EXPECT_EQ(env.count(shellOnly), 0u) << label << " " << shellOnly;
  }
  const std::string log = ReadFile(bundle.contents + "/Resources/Logs/LastWine.log");
  EXPECT_EQ(log.rfind("stand-in engine running --workdir ", 0), 0u) << label << ": " << log;
  if (background) {
    std::vector<pid_t> live = LiveStandIns(bundle, "wineserver");
    ASSERT_EQ(live.size(), 1u) << label;
    EXPECT_EQ(result, live[0]) << label;
    EXPECT_TRUE(PathExists(bundle.contents + "/.firstpidfile")) << label;
  } else {
    EXPECT_EQ(result, 0) << label;
    EXPECT_FALSE(PathExists(bundle.contents + "/.firstpidfile")) << label;
    EXPECT_FALSE(PathExists(bundle.contents + "/.secondpidfile")) << label;
  }
  RemoveTestBundle(bundle);
}

const std::vector<std::string> kNoWords;
const std::vector<std::string> kSplitWords = {"-x", "--name=two", "words", "quoted arg"};

TEST(StartQVwine, EngineSeesArgumentsFolderAndEnvironmentInEveryVariant) {
  const LaunchCase cases[] = {
      {"true", "", ProgramPath::kBelowDriveC, kNoWords},
      {"true", "-x  --name=two words 'quoted arg'", ProgramPath::kBelowDriveC, kSplitWords},
      {"false", "", ProgramPath::kBelowDriveC, kNoWords},
      {"false", "-x  --name=two words 'quoted arg'", ProgramPath::kBelowDriveC, kSplitWords},
      {"", "", ProgramPath::kFullPath, kNoWords},
      {"False", "-x  --name=two words 'quoted arg'", ProgramPath::kFullPath, kSplitWords},
      {"false", "", ProgramPath::kFullPath, kNoWords},
      {"false", " ", ProgramPath::kFullPath, kNoWords},
  };
  const TestBundleOptions options;
  for (const LaunchCase& c : cases) {
    CheckLaunch(c, options, options.config.workdir, options.config.cmdLine);
  }
}

TEST(StartQVwine, HostilePathsRunNothingAndArriveUnchanged) {
  TestBundleOptions options;
  options.appFolder =
      "Odd $(touch \"$QUILLON_CANARY\") `touch \"$QUILLON_CANARY\"` \" \\ ${HOME} W.app";
  options.config.workdir = "/Program $(touch \"$QUILLON_CANARY\") \"W\" \\";
  options.config.cmdLine = options.config.workdir + "/a `touch \"$QUILLON_CANARY\"` $HOME.exe";
  const std::string canary = "/tmp/quillon-canary." + std::to_string(getpid());
  ScopedEnv canaryName("QUILLON_CANARY", canary);
  const LaunchCase cases[] = {
      {"true", "-x", ProgramPath::kBelowDriveC, {"-x"}},
      {"false", "", ProgramPath::kFullPath, kNoWords},
  };
  for (const LaunchCase& c : cases) {
    CheckLaunch(c, options, options.config.workdir, options.config.cmdLine);
  }
  EXPECT_FALSE(PathExists(canary));
  std::filesystem::remove(canary);
}

TEST_F(BundleTest, BackgroundWithoutAWineServerGivesZeroAfterTheBound) {
  ScopedEnv bound("QUILLON_WAIT_SECONDS", "1");
  WriteFile(bundle.control + "/wineserver.seconds", "none");
  EXPECT_EQ(StartQVwine(bundle.paths.macos, ":9", bundle.paths.driveC + "/Program Files/Example",
                        "/Program Files/Example/Example.exe", "", "false"),
            0);
  EXPECT_EQ(RecordedCalls(bundle, "wine"), 1);
}

}  // namespace
