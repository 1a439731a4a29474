#include "bundle/shell.h"

#include <gtest/gtest.h>

#include "bundle/companions.h"
#include "tests/fixture.h"

namespace {

TEST(EscapeForDoubleQuotes, Table) {
  struct Case {
    std::string value;
    std::string expected;
  } cases[] = {
      {"/Applications/Foo.app/Contents/MacOS", "/Applications/Foo.app/Contents/MacOS"},
      {"with blanks  and\ttab", "with blanks  and\ttab"},
      {"a\"b", "a\\\"b"},
      {"$HOME", "\\$HOME"},
      {"`id`", "\\`id\\`"},
      {"a\\b", "a\\\\b"},
      {"'single' ; & | * ? ~ ! # ( ) < >", "'single' ; & | * ? ~ ! # ( ) < >"},
      {"line\nfeed", "line\nfeed"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeForDoubleQuotes(c.value), c.expected) << c.value;
  EXPECT_EQ(QuoteForShell("a$b"), "\"a\\$b\"");
}

// A real /bin/sh reads every quoted value back unchanged and runs nothing inside it.
TEST_F(BundleTest, QuotedValuesReachTheShellUnchanged) {
  const std::string canary = bundle.root + "/canary";
  const std::string hostile[] = {
      "plain",
      "two  blanks",
      "quote\" ; touch " + canary + " ; \"",
      "$(touch " + canary + ")",
      "`touch " + canary + "`",
      "back\\slash\\\\ and \\\" escaped quote",
      "dollar $HOME ${PATH} $1 $$",
      "new\nline",
      "semi;colon & amp | pipe > gt < lt",
      "*",
      "'single quotes' \"double\"",
      "trailing backslash\\",
      "",
  };
  const std::string out = bundle.root + "/out";
  for (const std::string& value : hostile) {
    RunShellCommand("printf '%s' " + QuoteForShell(value) + " > " + QuoteForShell(out));
    EXPECT_EQ(ReadFile(out), value);
    EXPECT_FALSE(PathExists(canary)) << value;
  }
}

TEST(ComposePidofCommand, MatchesTheTemplate) {
  EXPECT_EQ(ComposePidofCommand("/A/W.app/Contents/MacOS", "QVX11Server",
                                "/A/W.app/Contents/MacOS/../.firstpidfile"),
            "cd \"/A/W.app/Contents/MacOS\"; ./pidof \"QVX11Server\" > "
            "\"/A/W.app/Contents/MacOS/../.firstpidfile\" 2>&1");
  EXPECT_EQ(ComposePidofCommand("/A/$x.app/Contents/MacOS", "wineserver", "/o"),
            "cd \"/A/\\$x.app/Contents/MacOS\"; ./pidof \"wineserver\" > \"/o\" 2>&1");
}

TEST(CompanionPaths, ComposedFromTheMacosFolder) {
  const std::string m = "/A/W.app/Contents/MacOS";
  EXPECT_EQ(BeforeSnapshotFile(m), m + "/../.firstpidfile");
  EXPECT_EQ(AfterSnapshotFile(m), m + "/../.secondpidfile");
  EXPECT_EQ(EngineProgramPath(m), m + "/../SharedSupport/Ambergate/bin/wine");
  EXPECT_EQ(X11LinkPath(m), m + "/../SharedSupport/X11");
  EXPECT_EQ(LogsFolder(m), m + "/../Resources/Logs");
  EXPECT_EQ(X11ServerProgram("X.app"), "./X.app/Contents/MacOS/QVX11Server");
  EXPECT_EQ(X11LinkTarget("sub/X.app"), "../MacOS/sub/X.app/Contents/SharedSupport/X11");
}

}  // namespace
