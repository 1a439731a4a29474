// The pure pieces of the bundle check: line explanations, markers, instance lines, path
// characters, the argument forms and the JSON escaper.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checker/bundle_locate.h"
#include "checker/instance_check.h"
#include "checker/json_printer.h"
#include "checker/path_check.h"
#include "checker/plist_check.h"
#include "checker/plist_lines.h"
#include "checker/text_printer.h"
#include "checker/x11_check.h"
#include "tests/fixture.h"

namespace {

TEST(PlistLinesTest, SplitsAsTheLaunchersReaderDoes) {
  EXPECT_EQ(SplitLines("a\nb\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitLines("a\r\n\nb"), (std::vector<std::string>{"a\r", "", "b"}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(PlistLinesTest, ExplainsWhyNoLineIsTheKeyLine) {
  struct Case {
    std::string line;
    std::string phrase;
  } cases[] = {
      {"\t<key>QVOEMCmdLine</key>\r", "carriage return"},
      {"    <key>QVOEMCmdLine</key>", "blanks instead of one tab"},
      {"\t\t<key>QVOEMCmdLine</key>", "indented by 2 tabs"},
      {"<key>QVOEMCmdLine</key>", "not indented"},
      {"\t<key>QVOEMCmdLine</key>  ", "blanks follow"},
      {"\t<key>QVOEMCmdLine</key><string>/a.exe</string>", "other text shares its line"},
      {"\t<key>qvoemcmdline</key>", "other letter case"},
  };
  for (const Case& c : cases) {
    const std::string why = ExplainMissingKeyLine({"<dict>", c.line, "</dict>"}, "QVOEMCmdLine");
    EXPECT_NE(why.find(c.phrase), std::string::npos) << c.line << " -> " << why;
    EXPECT_NE(why.find("line 2 "), std::string::npos) << why;
  }
  EXPECT_EQ(ExplainMissingKeyLine({"\t<key>Other</key>"}, "QVOEMCmdLine"), "");
}

TEST(PlistLinesTest, ExplainsWhatInTheValueLineDiffers) {
  struct Case {
    std::string line;
    std::string kind;
    std::optional<std::string> parser;
    std::string phrase;
  } cases[] = {
      {"\t<string>/a.exe</string>\r", "string", "/a.exe", "ends in a carriage return"},
      {"\t\t<string>/a.exe</string>", "string", "/a.exe", "indented by 2 tabs"},
      {"\t<string>/a/", "string", "/a/\nb.exe", "split over several lines"},
      {"\t<string>/A &amp; B.exe</string>", "string", "/A & B.exe", "entity or character references"},
      {"\t<string>/a.exe</string> x", "string", "/a.exe", "text follows the closing"},
      {"\t<key>Other</key>", "string", std::nullopt, "the next line is another key"},
      {"\t<false />", "boolean", "false", "a blank stands before the slash"},
      {"\t<string>false</string>", "boolean", "false", "a <string> element stands where a boolean"},
      {"", "string", "/a.exe", "empty"},
  };
  for (const Case& c : cases) {
    const std::string why = ExplainValueLine(c.line, c.kind, c.parser);
    EXPECT_NE(why.find(c.phrase), std::string::npos) << c.line << " -> " << why;
  }
}

TEST(PlistCheckTest, MissingKeysSayWhatTheirAbsenceMeans) {
  SettingReading reading;
  reading.kind = "string";
  reading.parserKnown = true;
  struct Case {
    std::string key;
    Severity severity;
    std::string phrase;
  } cases[] = {
      {"QVOEMCmdLine", Severity::kError, "drive_c folder itself"},
      {"QVOEMWorkdir", Severity::kNote, "working folder is the drive_c folder itself"},
      {"QVOEMCmdLineFlags", Severity::kOk, "no extra words"},
      {"Quillon Engine Requirement", Severity::kNote, "names no engine"},
      {"Quick X11 Kill Shutdown", Severity::kNote, "quick mode"},
  };
  for (const Case& c : cases) {
    reading.key = c.key;
    const Finding finding = CompareSetting(reading, {}, false);
    EXPECT_EQ(finding.severity, c.severity) << c.key;
    EXPECT_NE(finding.text.find(c.key + ": missing, so"), std::string::npos) << finding.text;
    EXPECT_NE(finding.text.find(c.phrase), std::string::npos) << finding.text;
  }
}

TEST(PlistCheckTest, AModeThatDiffersIsAWarning) {
  SettingReading reading;
  reading.key = "Quick X11 Kill Shutdown";
  reading.kind = "boolean";
  reading.launcherValue = "false ";
  reading.valueLine = "\t<false />";
  reading.keyLineFound = true;
  reading.parserKnown = true;
  reading.parser = ParsedEntry{"boolean", "false"};
  Finding finding = CompareSetting(reading, {}, false);
  EXPECT_EQ(finding.severity, Severity::kWarning);
  EXPECT_NE(finding.text.find("the launchers read \"false \", a property-list parser reads \"false\""), std::string::npos)
      << finding.text;
  EXPECT_NE(finding.text.find("quick mode"), std::string::npos) << finding.text;
}

TEST(X11MarkersTest, NamesTheMarkerTheLaunchersTake) {
  const std::string m = "/B/W.app/Contents/MacOS";
  struct Case {
    std::vector<std::string> markers;
    std::string app;
    Severity worst;
    std::string phrase;
  } cases[] = {
      {{}, "", Severity::kError, "no .X11location marker"},
      {{m + "/X.app/.X11location"}, "X.app", Severity::kOk, "names the X11 app \"X.app\""},
      {{m + "/sub/X.app/.X11location"}, "sub/X.app", Severity::kOk, "names the X11 app"},
      {{m + "/X.app/Contents/.X11location"}, "X.app/Contents", Severity::kError, "move the marker up into X.app"},
      {{m + "/.X11location"}, "", Severity::kError, "directly in the MacOS folder"},
      {{m + "/X.app/.X11location", m + "/Y.app/.X11location"}, "X.app", Severity::kWarning,
       "the first that find lists counts: " + m + "/X.app/.X11location"},
      {{m + "/X\nY.app/.X11location"}, "", Severity::kError, "holds a line feed"},
  };
  for (const Case& c : cases) {
    std::string app = "unset";
    const std::vector<Finding> findings = CheckMarkers(m, c.markers, &app);
    EXPECT_EQ(app, c.app);
    Severity worst = Severity::kOk;
    std::string all;
    for (const Finding& f : findings) {
      if (f.severity > worst) worst = f.severity;
      all += f.text + " | " + f.advice + "\n";
    }
    EXPECT_EQ(worst, c.worst) << all;
    EXPECT_NE(all.find(c.phrase), std::string::npos) << all;
  }
}

TEST(InstanceCheckTest, ClassifiesTheFirstLine) {
  struct Case {
    bool exists;
    std::string line;
    bool free;
    std::string name;
    Severity severity;
    std::string phrase;
  } cases[] = {
      {false, "", true, "", Severity::kOk, "no instance file yet"},
      {true, "Not Running", true, "", Severity::kOk, "\"Not Running\""},
      {true, "", true, "", Severity::kOk, "first line is empty"},
      {true, "0", true, "", Severity::kOk, "0 or below"},
      {true, "-12", true, "", Severity::kOk, "0 or below"},
      {true, "4242", true, "", Severity::kNote, "stale claim by process 4242"},
      {true, "812 word", false, "Valnor", Severity::kError, "live process 812 (Valnor)"},
  };
  for (const Case& c : cases) {
    const Finding finding = ClassifyInstance(c.exists, c.line, c.free, c.name);
    EXPECT_EQ(finding.severity, c.severity) << c.line;
    EXPECT_NE(finding.text.find(c.phrase), std::string::npos) << finding.text;
  }
}

TEST(PathCheckTest, SortsTheShellCharacters) {
  auto worst = [](const std::vector<Finding>& findings) {
    Severity s = Severity::kOk;
    for (const Finding& f : findings) s = std::max(s, f.severity);
    return s;
  };
  EXPECT_EQ(worst(CheckPathCharacters("/A/W.app/Contents")), Severity::kOk);
  EXPECT_EQ(worst(CheckPathCharacters("/A/My (1) & Co's.app/Contents")), Severity::kOk);
  EXPECT_EQ(worst(CheckPathCharacters("/A/$HOME`x`\".app/Contents")), Severity::kNote);
  EXPECT_EQ(worst(CheckPathCharacters("/A/Two\nLines.app/Contents")), Severity::kError);
  EXPECT_NE(CheckPathCharacters("/A/a\\b.app/Contents")[0].text.find("holds \\"), std::string::npos);
}

TEST(JsonTest, QuotesEveryByteAsValidJson) {
  EXPECT_EQ(QuoteJson("plain"), "\"plain\"");
  EXPECT_EQ(QuoteJson("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(QuoteJson("\n\r\t\x01"), "\"\\n\\r\\t\\u0001\"");
  EXPECT_EQ(QuoteJson("caf\xC3\xA9 \xE2\x84\xA2"), "\"caf\xC3\xA9 \xE2\x84\xA2\"");
  EXPECT_EQ(QuoteJson("\xFF\xC3"), "\"\\u00FF\\u00C3\"");
  EXPECT_EQ(QuoteJson("\xED\xA0\x80"), "\"\\u00ED\\u00A0\\u0080\"");  // an encoded surrogate is not UTF-8
}

class LocateTest : public BundleTest {};

TEST_F(LocateTest, AcceptsTheBundleItsContentsOrALauncher) {
  const std::string contents = bundle.contents;
  EXPECT_EQ(LocateContents(bundle.app, "/"), contents);
  EXPECT_EQ(LocateContents(bundle.app + "//", "/"), contents);
  EXPECT_EQ(LocateContents(contents, "/"), contents);
  EXPECT_EQ(LocateContents(contents + "/MacOS/Valnor", "/"), contents);
  EXPECT_EQ(LocateContents(contents + "/Brackenfold.app/Contents/MacOS/Brackenfold", "/"), contents);
  EXPECT_EQ(LocateContents("Test Wrapper.app", bundle.root), contents);
  EXPECT_EQ(LocateContents(bundle.root + "/record", "/"), std::nullopt);
  EXPECT_EQ(LocateContents(bundle.root + "/none", "/"), std::nullopt);
  EXPECT_EQ(PathsForContents(contents).instanceFile, bundle.paths.instanceFile);
}

}  // namespace

namespace {

TEST(TextPrinterTest, WrapsAtBlanksWithinTheWidth) {
  EXPECT_EQ(WrapText("aaa bbb ccc", 0, 2), "aaa bbb ccc");
  EXPECT_EQ(WrapText("aaa bbb ccc", 7, 2), "aaa bbb\n  ccc");
  EXPECT_EQ(WrapText("aaaaaaaaaa b", 4, 1), "aaaaaaaaaa\n b");
  const std::vector<Finding> findings = {{Severity::kError, "engine", "one two three four five six", "do it"}};
  const std::string plain = FormatText("/B/Contents", findings, false, 0);
  EXPECT_EQ(plain, "wrapper-check: \"/B/Contents\"\n[error]   engine: one two three four five six\n"
                   "          -> do it\nverdict: the bundle cannot launch (1 error, 0 warnings, 0 notes)\n");
  const std::string wrapped = FormatText("/B/Contents", findings, true, 30);
  EXPECT_NE(wrapped.find("\033[1;31m[error]\033[0m   engine: one two\n          three four five six\n"), std::string::npos)
      << wrapped;
}

}  // namespace
