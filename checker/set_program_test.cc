// set-program: the Info.plist edit over a table of files, and the built quillon-set-program run
// as a real process on fixture bundles, read back through the launchers' own reader.
#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include "bundle/info_plist.h"
#include "bundle/text_file.h"
#include "checker/plist_edit.h"
#include "checker/plist_parser.h"
#include "tests/fixture.h"

namespace {

const std::string kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n<dict>\n";
const char kTail[] = "</dict>\n</plist>\n";

// Returns "\t<key>key</key>\n" followed by the value line.
std::string Entry(const std::string& key, const std::string& valueLine) {
  return "\t<key>" + key + "</key>\n" + valueLine + "\n";
}

const std::vector<PlistSetting> kProgramSettings = {
    {kCmdLineKey, kStringKind, "/Program Files (x86)/Acme/acme.exe"},
    {kWorkdirKey, kStringKind, "/Acme Data"},
    {kCmdLineFlagsKey, kStringKind, "-x \"two words\" 'single'"},
    {kQuickX11KillShutdownKey, kBooleanKind, "false"}};

// Returns the lines of text without each exact key line of settings and the line after it.
std::vector<std::string> OtherLines(const std::string& text, const std::vector<PlistSetting>& settings) {
  std::set<std::string> keyLines;
  for (const PlistSetting& setting : settings) keyLines.insert("\t<key>" + setting.key + "</key>");
  std::vector<std::string> lines = SplitLines(text), others;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (keyLines.count(lines[i])) {
      ++i;
      continue;
    }
    others.push_back(lines[i]);
  }
  return others;
}

struct EditCase {
  const char* name;
  std::string before;
  std::string error;  // a part of the refusal; "" when the edit must be done
};

std::vector<EditCase> EditCases() {
  const std::string around = Entry("CFBundleExecutable", "\t<string>Valnor</string>") +
                             Entry("CFBundleName", "\t<string>Acme &amp; Sons</string>");
  const std::string nested = "\t<key>Nested</key>\n\t<dict>\n\t\t<key>Other</key>\n\t\t<true/>\n\t</dict>\n";
  return {
      {"all keys present, other keys around them",
       kHead + around + Entry(kCmdLineKey, "\t<string>/old.exe</string>") + nested +
           Entry(kWorkdirKey, "\t<string>/old</string>") + Entry(kCmdLineFlagsKey, "\t<string/>") +
           Entry(kQuickX11KillShutdownKey, "\t<true/>") + Entry("Last", "\t<string>x</string>") + kTail,
       ""},
      {"all keys absent", kHead + around + nested + kTail, ""},
      {"some present, some absent, no final line feed",
       kHead + Entry(kWorkdirKey, "\t<string>/old</string>") + around + "</dict>\n</plist>", ""},
      {"the key twice: the launchers' first one is written",
       kHead + Entry(kCmdLineKey, "\t<string>/first.exe</string>") + Entry(kCmdLineKey, "\t<string>/second.exe</string>") + kTail,
       "read back"},
      {"Windows line ends", "<?xml version=\"1.0\"?>\r\n<plist version=\"1.0\">\r\n<dict>\r\n" +
           std::string("\t<key>QVOEMCmdLine</key>\r\n\t<string>/a.exe</string>\r\n</dict>\r\n</plist>\r\n"),
       "Windows line ends"},
      {"a binary property list", "bplist00\x01\x02", "binary property list"},
      {"the key indented by blanks", kHead + "    <key>QVOEMCmdLine</key>\n    <string>/a.exe</string>\n" + kTail,
       "in a form the launchers cannot read: line 5"},
      {"the value split over lines",
       kHead + Entry(kCmdLineKey, "\t<string>/a") + "b.exe</string>\n" + kTail,
       "not one whole value element on one line"},
      {"no closing </dict> line", kHead + around + "\t</dict>\n</plist>\n", "no line \"</dict>\""},
  };
}

TEST(PlistEditTest, WritesTheSettingsAndKeepsEveryOtherLine) {
  const std::string file = testing::TempDir() + "/set-program-edit.plist";
  for (const EditCase& c : EditCases()) {
    SCOPED_TRACE(c.name);
    const PlistEdit edit = SetPlistValues(c.before, kProgramSettings);
    if (!c.error.empty() && !edit.done) {
      EXPECT_NE(edit.error.find(c.error), std::string::npos) << edit.error;
      continue;
    }
    ASSERT_TRUE(edit.done) << edit.error;
    WriteFile(file, edit.text);
    // Both the launchers' reader and a property-list parser read each value back.
    const ParsedPlist parsed = ParsePlist(edit.text, {kCmdLineKey, kWorkdirKey, kCmdLineFlagsKey,
                                                      kQuickX11KillShutdownKey});
    bool allReadBack = parsed.readable;
    for (const PlistSetting& setting : kProgramSettings) {
      auto entry = parsed.entries.find(setting.key);
      allReadBack = allReadBack && GetFromInfoPlist(file, setting.key, setting.kind) == setting.value &&
                    entry != parsed.entries.end() && entry->second.text == setting.value;
    }
    if (!c.error.empty()) {
      // SetProgram refuses such an edit when it reads the new file back.
      EXPECT_FALSE(allReadBack) << "expected a read-back difference: " << c.error;
      continue;
    }
    EXPECT_TRUE(allReadBack) << edit.text;
    EXPECT_EQ(OtherLines(edit.text, kProgramSettings), OtherLines(c.before, kProgramSettings)) << edit.text;
    EXPECT_EQ(edit.text.back() == '\n', c.before.back() == '\n');
    // Editing again with the same values changes nothing.
    EXPECT_EQ(SetPlistValues(edit.text, kProgramSettings).text, edit.text);
  }
}

TEST(PlistEditTest, NamesEachCharacterAValueLineCannotHold) {
  const struct {
    std::string value;
    std::string name;
  } cases[] = {{"a&b", "\"&\""}, {"a<b", "\"<\""}, {"a>b", "\">\""}, {"a\nb", "a line feed"},
               {"a\rb", "a carriage return"}, {"/Program Files (x86)/A \"b\" 'c' $d.exe", ""},
               {"", ""}, {"Ünïcödé ™", ""}};
  for (const auto& c : cases) EXPECT_EQ(ForbiddenCharacterIn(c.value), c.name) << c.value;
}

// Runs the built quillon-set-program with args; the working folder is the bundle's root.
RunResult RunSetProgram(const TestBundle& bundle, const std::vector<std::string>& args) {
  RunOptions options;
  options.args = args;
  options.workingFolder = bundle.root;
  options.limitSeconds = 60;
  return RunProgram(SET_PROGRAM_BINARY, SET_PROGRAM_BINARY, options);
}

RunResult RunWrapperCheck(const TestBundle& bundle) {
  RunOptions options;
  options.args = {bundle.app};
  options.limitSeconds = 60;
  return RunProgram(WRAPPER_CHECK_BINARY, WRAPPER_CHECK_BINARY, options);
}

// A fixture bundle without program keys, holding a 32-bit program in "Program Files (x86)".
TestBundle ProgramlessBundle() {
  TestBundleOptions options;
  options.config.cmdLine = options.config.workdir = "";
  TestBundle bundle = MakeTestBundle(options);
  InstallLauncher(bundle, "Valnor");
  InstallLauncher(bundle, "Brackenfold");
  const std::string folder = bundle.paths.driveC + "/Program Files (x86)/Acme";
  EXPECT_EQ(system(("mkdir -p '" + folder + "' '" + bundle.paths.driveC + "/Acme Data'").c_str()), 0);
  WriteFile(folder + "/acme.exe", "MZ stand-in\n");
  return bundle;
}

TEST(SetProgramTest, MakesTheProgramTheBundlesAndWrapperCheckPasses) {
  TestBundle bundle = ProgramlessBundle();
  chmod(bundle.paths.infoPlist.c_str(), 0640);
  const std::string before = ReadFile(bundle.paths.infoPlist);
  RunResult result = RunSetProgram(bundle, {"Test Wrapper.app", "/Program Files (x86)/Acme/acme.exe",
                                            "--flags", "--seconds 1 \"two words\"", "--background"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  EXPECT_NE(result.out.find("QVOEMCmdLine = /Program Files (x86)/Acme/acme.exe"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("start it with \"" + bundle.contents + "/MacOS/Valnor\""), std::string::npos) << result.out;
  LaunchConfig config = ReadLaunchConfig(bundle.paths.infoPlist);
  EXPECT_EQ(config.cmdLine, "/Program Files (x86)/Acme/acme.exe");
  EXPECT_EQ(config.workdir, "/Program Files (x86)/Acme");
  EXPECT_EQ(config.cmdLineFlags, "--seconds 1 \"two words\"");
  EXPECT_EQ(config.engineRequirement, "Ambergate 8");
  EXPECT_EQ(config.quickX11KillShutdown, "false");
  struct stat info;
  ASSERT_EQ(stat(bundle.paths.infoPlist.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "the file's permissions changed";
  EXPECT_FALSE(PathExists(bundle.contents + "/.Info.plist.set-program"));
  RunResult check = RunWrapperCheck(bundle);
  EXPECT_EQ(check.exitStatus, 0) << check.out;
  EXPECT_EQ(check.out.find("[warning]"), std::string::npos) << check.out;

  // A second call replaces the values in place; without --flags the old words go, and without
  // a mode the mode stays.
  result = RunSetProgram(bundle, {bundle.app, "/Program Files (x86)/Acme/acme.exe", "--workdir", "/Acme Data"});
  ASSERT_EQ(result.exitStatus, 0) << result.err;
  config = ReadLaunchConfig(bundle.paths.infoPlist);
  EXPECT_EQ(config.workdir, "/Acme Data");
  EXPECT_EQ(config.cmdLineFlags, "");
  EXPECT_EQ(config.quickX11KillShutdown, "false");
  EXPECT_EQ(SplitLines(ReadFile(bundle.paths.infoPlist)).size(), SplitLines(before).size() + 6);
  RemoveTestBundle(bundle);
}

TEST(SetProgramTest, RefusesAndLeavesInfoPlistUnchanged) {
  TestBundle bundle = ProgramlessBundle();
  const std::string program = "/Program Files (x86)/Acme/acme.exe";
  const struct {
    std::vector<std::string> args;
    int status;
    std::string message;
  } cases[] = {
      {{bundle.app, program, "--flags", "a&b"}, 1, "the flags holds \"&\""},
      {{bundle.app, program, "--flags", "a<b"}, 1, "the flags holds \"<\""},
      {{bundle.app, "/Program Files (x86)/Acme/a>b.exe"}, 1, "the program path holds \">\""},
      {{bundle.app, program, "--workdir", "/a\nb"}, 1, "the working folder holds a line feed"},
      {{bundle.app, "/Program Files (x86)/Acme/missing.exe"}, 1, "is not a file below " + bundle.paths.driveC},
      {{bundle.app, "/Program Files (x86)/Acme"}, 1, "is not a file below"},
      {{bundle.app, "Program Files (x86)/Acme/acme.exe"}, 1, "must begin with \"/\""},
      {{bundle.app, "C:\\Program Files (x86)\\Acme\\acme.exe"}, 1, "must begin with \"/\""},
      {{bundle.app, "/../../Info.plist"}, 1, "must not hold \".\" or \"..\""},
      {{bundle.app, program, "--workdir", "/Nowhere"}, 1, "the working folder \"/Nowhere\" is not a folder"},
      {{bundle.app}, 2, "usage: quillon-bundle set-program"},
      {{bundle.app, program, "--flags"}, 2, "option --flags needs a value"},
      {{bundle.app, program, "--bogus"}, 2, "unknown option --bogus"},
      {{bundle.root + "/nothing", program}, 2, "is not a wrapper bundle"},
  };
  const std::string before = ReadFile(bundle.paths.infoPlist);
  for (const auto& c : cases) {
    RunResult result = RunSetProgram(bundle, c.args);
    EXPECT_EQ(result.exitStatus, c.status) << c.message << "\n" << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << "wanted: " << c.message << "\ngot: " << result.err;
    EXPECT_EQ(ReadFile(bundle.paths.infoPlist), before) << c.message;
  }
  // A file with Windows line ends is refused with a clear message, and left as it was.
  std::string crlf;
  for (const std::string& line : SplitLines(before)) crlf += line + "\r\n";
  WriteFile(bundle.paths.infoPlist, crlf);
  RunResult result = RunSetProgram(bundle, {bundle.app, program});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("Info.plist has Windows line ends (carriage returns)"), std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(bundle.paths.infoPlist), crlf);
  // A key written twice: the launchers read the first, a parser the last; the read-back tells.
  const std::string twice = kHead + Entry(kCmdLineKey, "\t<string>/first.exe</string>") +
                            Entry(kCmdLineKey, "\t<string>/second.exe</string>") + kTail;
  WriteFile(bundle.paths.infoPlist, twice);
  result = RunSetProgram(bundle, {bundle.app, program});
  EXPECT_EQ(result.exitStatus, 1);
  EXPECT_NE(result.err.find("would not read QVOEMCmdLine back as written; Info.plist was left unchanged"),
            std::string::npos) << result.err;
  EXPECT_EQ(ReadFile(bundle.paths.infoPlist), twice);
  EXPECT_FALSE(PathExists(bundle.contents + "/.Info.plist.set-program"));
  RemoveTestBundle(bundle);
}

}  // namespace
