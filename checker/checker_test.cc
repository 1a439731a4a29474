// The built wrapper-check run as a real process on broken fixture bundles.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <plist/plist.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "tests/fixture.h"
#include "tests/launch_helpers.h"

namespace fs = std::filesystem;

namespace {

// RunProgram passes no arguments, so a small script in the bundle's temporary folder (outside
// the bundle itself) hands CHECK_ARG1, CHECK_ARG2, … on.
RunResult RunCheck(const TestBundle& bundle, const std::vector<std::string>& args,
                   const std::string& workingFolder = "") {
  const std::string script = bundle.root + "/check-args.sh";
  if (!PathExists(script)) {
    WriteFile(script,
              "#!/bin/sh\n"
              "i=1; set --\n"
              "while eval \"[ -n \\\"\\${CHECK_ARG$i+x}\\\" ]\"; do\n"
              "  eval \"set -- \\\"\\$@\\\" \\\"\\$CHECK_ARG$i\\\"\"; i=$((i + 1))\n"
              "done\n"
              "exec \"" WRAPPER_CHECK_BINARY "\" \"$@\"\n");
    chmod(script.c_str(), 0755);
  }
  RunOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) options.env["CHECK_ARG" + std::to_string(i + 1)] = args[i];
  options.workingFolder = workingFolder;
  options.unsetEnv = {"NO_COLOR"};
  options.limitSeconds = 60;
  return RunProgram(script, "wrapper-check", options);
}

// Returns the report lines that begin with "[severity]" and name area, joined with their advice.
std::vector<std::string> FindingLines(const std::string& out, const std::string& area) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < out.size()) {
    std::string::size_type end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    if (line.size() > 10 && line[0] == '[' && line.compare(10, area.size() + 1, area + ":") == 0) {
      lines.push_back(line);
    }
    start = end + 1;
  }
  return lines;
}

bool HasFinding(const std::string& out, const std::string& area, const std::string& phrase) {
  for (const std::string& line : FindingLines(out, area)) {
    if (line.find(phrase) != std::string::npos) return true;
  }
  return false;
}

void ReplaceInFile(const std::string& path, const std::string& from, const std::string& to) {
  std::string text = ReadFile(path);
  std::string::size_type at = text.find(from);
  ASSERT_NE(at, std::string::npos) << "no " << from << " in " << path;
  text.replace(at, from.size(), to);
  WriteFile(path, text);
}

std::string BinaryPlist(const std::string& xml) {
  plist_t root = nullptr;
  plist_from_memory(xml.data(), static_cast<uint32_t>(xml.size()), &root);
  EXPECT_NE(root, nullptr);
  char* data = nullptr;
  uint32_t length = 0;
  plist_to_bin(root, &data, &length);
  std::string binary(data, length);
  plist_to_bin_free(data);
  plist_free(root);
  return binary;
}

// A process ID that has surely ended: a child that exited and was reaped.
pid_t EndedProcessID() {
  pid_t pid = fork();
  if (pid == 0) _exit(0);
  int status = 0;
  waitpid(pid, &status, 0);
  return pid;
}

// One broken bundle and the finding it must produce.
struct BrokenCase {
  const char* name;
  std::function<void(TestBundleOptions&)> options;
  std::function<void(const TestBundle&)> edit;
  std::string area;
  std::string phrase;
  int exitStatus;
};

// Names a case by its name alone in the test listing.
void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

std::vector<BrokenCase> BrokenCases() {
  auto none = [](TestBundleOptions&) {};
  auto keep = [](const TestBundle&) {};
  auto plist = [](const TestBundle& b) { return b.paths.infoPlist; };
  return {
      {"CarriageReturns", none,
       [plist](const TestBundle& b) {
         std::string text = ReadFile(plist(b)), crlf;
         for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
         WriteFile(plist(b), crlf);
       },
       "Info.plist", "it ends in a carriage return", 1},
      {"BlanksInsteadOfTab", none,
       [plist](const TestBundle& b) { ReplaceInFile(plist(b), "\t<key>QVOEMCmdLine", "    <key>QVOEMCmdLine"); },
       "Info.plist", "indented by blanks instead of one tab", 1},
      {"NestedEntry", [](TestBundleOptions& o) { o.config.quickX11KillShutdown = ""; },
       [plist](const TestBundle& b) {
         ReplaceInFile(plist(b), "</dict>\n</plist>",
                       "\t<key>Other</key>\n\t<dict>\n\t\t<key>Quick X11 Kill Shutdown</key>\n\t\t<false/>\n\t</dict>\n</dict>\n</plist>");
       },
       "Info.plist", "Quick X11 Kill Shutdown: missing, so quick mode", 0},
      {"BinaryPlist", none, [plist](const TestBundle& b) { WriteFile(plist(b), BinaryPlist(ReadFile(plist(b)))); },
       "Info.plist", "binary property list", 1},
      {"Entity",
       [](TestBundleOptions& o) { o.config.cmdLine = "/Program Files/A &amp; B/Example.exe"; o.withProgram = false; },
       [](const TestBundle& b) {
         fs::create_directories(b.paths.driveC + "/Program Files/A & B");
         WriteFile(b.paths.driveC + "/Program Files/A & B/Example.exe", "MZ");
       },
       "Info.plist", "entity or character references (such as &amp;)", 1},
      {"ValueSplitOverLines", none,
       [plist](const TestBundle& b) {
         ReplaceInFile(plist(b), "<string>/Program Files/Example/Example.exe</string>",
                       "<string>/Program Files/Example/\nExample.exe</string>");
       },
       "Info.plist", "split over several lines", 1},
      {"BooleanWithBlank", [](TestBundleOptions& o) { o.config.quickX11KillShutdown = "false"; },
       [plist](const TestBundle& b) { ReplaceInFile(plist(b), "<false/>", "<false />"); },
       "Info.plist", "a blank stands before the slash", 0},
      {"MissingProgramKey", [](TestBundleOptions& o) { o.config.cmdLine = ""; }, keep,
       "Info.plist", "QVOEMCmdLine: missing, so the launchers take the drive_c folder itself", 1},
      {"MissingQuickKey", [](TestBundleOptions& o) { o.config.quickX11KillShutdown = ""; }, keep,
       "Info.plist", "Quick X11 Kill Shutdown: missing, so quick mode", 0},
      {"EngineMissing", [](TestBundleOptions& o) { o.withEngine = false; }, keep,
       "engine", "missing-engine dialog", 1},
      {"EngineNotExecutable", none,
       [](const TestBundle& b) { chmod((b.contents + "/SharedSupport/Ambergate/bin/wine").c_str(), 0644); },
       "engine", "not an executable file", 1},
      {"ProgramMissing", [](TestBundleOptions& o) { o.withProgram = false; }, keep,
       "program", "missing-program dialog", 1},
      {"WorkdirMissing", [](TestBundleOptions& o) { o.config.workdir = "/Nowhere"; }, keep,
       "program", "working folder", 1},
      {"NoMarker", none, [](const TestBundle& b) { fs::remove(b.paths.macos + "/QVX11.app/.X11location"); },
       "X11 app", "no .X11location marker", 1},
      {"NoX11App", [](TestBundleOptions& o) { o.x11App = ""; }, keep, "X11 app", "no .X11location marker", 1},
      {"MarkerInContents", none,
       [](const TestBundle& b) {
         fs::rename(b.paths.macos + "/QVX11.app/.X11location", b.paths.macos + "/QVX11.app/Contents/.X11location");
       },
       "X11 app", "lies inside a Contents folder", 1},
      {"MarkerInMacOS", none,
       [](const TestBundle& b) { fs::rename(b.paths.macos + "/QVX11.app/.X11location", b.paths.macos + "/.X11location"); },
       "X11 app", "lies directly in the MacOS folder", 1},
      {"ServerNotExecutable", none,
       [](const TestBundle& b) { chmod((b.paths.macos + "/QVX11.app/Contents/MacOS/QVX11Server").c_str(), 0644); },
       "X11 app", "QVX11Server is not an executable file", 1},
      {"NoLibFolder", none,
       [](const TestBundle& b) { fs::remove(b.paths.macos + "/QVX11.app/Contents/SharedSupport/X11/lib"); },
       "X11 app", "holds no lib folder", 0},
      {"LinkMissing", [](TestBundleOptions& o) { o.withX11Link = false; }, keep,
       "X11 app", "is missing: the launcher re-creates it as a link", 0},
      {"LinkDangling", [](TestBundleOptions& o) { o.withX11Link = false; },
       [](const TestBundle& b) { fs::create_symlink("../MacOS/Gone.app/X11", b.contents + "/SharedSupport/X11"); },
       "X11 app", "is a dangling link", 0},
      {"LinkRealFolder", [](TestBundleOptions& o) { o.withX11Link = false; },
       [](const TestBundle& b) { fs::create_directories(b.contents + "/SharedSupport/X11/lib"); },
       "X11 app", "is a real folder, not a link: the launcher leaves it alone", 0},
      {"LogsMissing", [](TestBundleOptions& o) { o.withLogs = false; }, keep,
       "folders", "Logs is missing: the shell refuses the log redirection", 1},
      {"PidofMissing", [](TestBundleOptions& o) { o.withPidof = false; }, keep,
       "folders", "the pidof program Contents/MacOS/pidof is missing", 1},
      {"LauncherMissing", none, [](const TestBundle& b) { fs::remove(b.paths.macos + "/Valnor"); },
       "folders", "Contents/MacOS/Valnor is missing", 1},
      // The lock stays held by this test process for the rest of its run; each case has its own bundle.
      {"ClaimedByLiveProcess", none,
       [](const TestBundle& b) {
         WriteFile(b.paths.instanceFile, std::to_string(getpid()) + "\n");
         HoldInstanceLock(b);
       },
       "instance", "claimed by the live process " + std::to_string(getpid()) + " (checker_test)", 1},
      {"LiveIDWithoutClaim", none,
       [](const TestBundle& b) { WriteFile(b.paths.instanceFile, std::to_string(getpid()) + "\n"); },
       "instance", "holds no claim on the wrapper", 0},
      {"StaleClaim", none,
       [](const TestBundle& b) { WriteFile(b.paths.instanceFile, std::to_string(EndedProcessID()) + "\n"); },
       "instance", "stale claim", 0},
      // A FIFO in Info.plist's place would hang a plain read; the check reads only regular files.
      {"InfoPlistIsAFifo", none,
       [](const TestBundle& b) {
         fs::remove(b.paths.infoPlist);
         mkfifo(b.paths.infoPlist.c_str(), 0644);
       },
       "Info.plist", "cannot be read", 1},
      {"NotRunning", none, [](const TestBundle& b) { WriteFile(b.paths.instanceFile, "Not Running\n"); },
       "instance", "\"Not Running\": the wrapper is free", 0},
      {"EmptyFirstLine", none,
       [](const TestBundle& b) { WriteFile(b.paths.instanceFile, "\n" + std::to_string(getpid()) + "\n"); },
       "instance", "first line is empty", 0},
      {"IDZeroOrBelow", none, [](const TestBundle& b) { WriteFile(b.paths.instanceFile, "-5\n"); },
       "instance", "0 or below", 0},
      {"EscapedCharacters", [](TestBundleOptions& o) { o.appFolder = "We$ird `q\" \\.app"; }, keep,
       "path", "the launchers escape them", 0},
      {"LineFeedInPath", [](TestBundleOptions& o) { o.appFolder = "Line\nFeed.app"; }, keep,
       "path", "holds a line feed", 1},
  };
}

class BrokenBundleTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenBundleTest, ReportsTheFindingAndTheVerdict) {
  const BrokenCase& c = GetParam();
  TestBundleOptions options;
  c.options(options);
  TestBundle bundle = MakeTestBundle(options);
  InstallLauncher(bundle, "Valnor");
  c.edit(bundle);
  RunResult result = RunCheck(bundle, {bundle.app});
  EXPECT_EQ(result.exitStatus, c.exitStatus) << result.out << result.err;
  EXPECT_TRUE(HasFinding(result.out, c.area, c.phrase))
      << "no " << c.area << " finding with \"" << c.phrase << "\" in:\n" << result.out;
  const std::string verdict = c.exitStatus == 0 ? "verdict: the bundle can launch" : "verdict: the bundle cannot launch";
  EXPECT_NE(result.out.find("\n" + verdict), std::string::npos) << result.out;
  RemoveTestBundle(bundle);
}

INSTANTIATE_TEST_SUITE_P(Table, BrokenBundleTest, ::testing::ValuesIn(BrokenCases()),
                         [](const ::testing::TestParamInfo<BrokenCase>& param) { return std::string(param.param.name); });

TEST(WrapperCheckTest, CleanFixtureBundleChecksCleanFromEveryArgumentForm) {
  TestBundle bundle = MakeTestBundle();
  InstallLauncher(bundle, "Valnor");
  InstallLauncher(bundle, "Brackenfold");
  const std::vector<std::vector<std::string>> forms = {
      {bundle.app}, {bundle.app + "/"}, {bundle.contents}, {bundle.paths.macos + "/Valnor"},
      {bundle.contents + "/Brackenfold.app/Contents/MacOS/Brackenfold"}};
  for (const auto& args : forms) {
    RunResult result = RunCheck(bundle, args);
    EXPECT_EQ(result.exitStatus, 0) << args[0] << "\n" << result.out;
    EXPECT_EQ(result.out.find("[error]"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("[warning]"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("wrapper-check: \"" + bundle.contents + "\""), std::string::npos) << result.out;
  }
  // A relative path is taken against the working folder, as the launchers do.
  RunResult relative = RunCheck(bundle, {"Test Wrapper.app"}, bundle.root);
  EXPECT_EQ(relative.exitStatus, 0) << relative.out;
  EXPECT_NE(relative.out.find(bundle.contents), std::string::npos);
  // Not a terminal: no colour.
  EXPECT_EQ(relative.out.find('\033'), std::string::npos);
  RemoveTestBundle(bundle);
}

TEST(WrapperCheckTest, BadUsageEndsWithStatusTwo) {
  TestBundle bundle = MakeTestBundle();
  const std::vector<std::vector<std::string>> cases = {
      {}, {"--bogus", bundle.app}, {bundle.app, bundle.app}, {bundle.root + "/nothing-here"}, {bundle.root + "/record"}};
  for (const auto& args : cases) {
    RunResult result = RunCheck(bundle, args);
    EXPECT_EQ(result.exitStatus, 2) << (args.empty() ? "(none)" : args[0]) << "\n" << result.out;
    EXPECT_NE(result.err.find("usage: wrapper-check"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << result.out;
  }
  RemoveTestBundle(bundle);
}

// Returns true when text is one JSON value with balanced brackets and well-formed strings.
bool LooksLikeJson(const std::string& text) {
  std::vector<char> open;
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        if (++i >= text.size() || std::string("\"\\/bfnrtu").find(text[i]) == std::string::npos) return false;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      open.push_back(c);
    } else if (c == '}' || c == ']') {
      if (open.empty() || open.back() != (c == '}' ? '{' : '[')) return false;
      open.pop_back();
    }
  }
  return !inString && open.empty() && !text.empty() && text.front() == '{';
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(WrapperCheckTest, JsonGivesTheSameFindingsAsValidJson) {
  TestBundleOptions options;
  options.appFolder = "Q\"uo\\te\nd$.app";
  options.withLogs = false;
  TestBundle bundle = MakeTestBundle(options);
  InstallLauncher(bundle, "Valnor");
  ReplaceInFile(bundle.paths.infoPlist, "\t<string>Ambergate 8</string>", "\t<string>Ambergate\t8\x01\xff</string>");
  RunResult text = RunCheck(bundle, {bundle.app});
  RunResult json = RunCheck(bundle, {"--json", bundle.app});
  EXPECT_EQ(json.exitStatus, 1);
  EXPECT_EQ(text.exitStatus, 1);
  EXPECT_TRUE(LooksLikeJson(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"canLaunch\": false"), std::string::npos);
  EXPECT_NE(json.out.find("\"findings\": ["), std::string::npos);
  EXPECT_NE(json.out.find("\"bundle\": \"" + bundle.root + "/Q\\\"uo\\\\te\\nd$.app/Contents\""), std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\\u00FF"), std::string::npos);
  EXPECT_NE(json.out.find("{\"severity\": \"error\", \"area\": \"folders\", \"text\": \"Contents/Resources/Logs is missing"),
            std::string::npos) << json.out;
  // One object per finding line of the text report.
  EXPECT_EQ(Count(json.out, "{\"severity\": "), Count(text.out, "\n[")) << text.out << json.out;
  RemoveTestBundle(bundle);
}

// Returns one line per entry below folder: its path, type, mode, size, modification and change times.
std::string ListingWithTimes(const std::string& folder) {
  std::string listing;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); it != fs::recursive_directory_iterator();
       it.increment(error)) {
    struct stat info;
    const std::string path = it->path().string();
    if (lstat(path.c_str(), &info) != 0) continue;
    listing += path + " " + std::to_string(info.st_mode) + " " + std::to_string(info.st_size) + " " +
               std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + " " +
               std::to_string(info.st_ctim.tv_sec) + "." + std::to_string(info.st_ctim.tv_nsec) + "\n";
  }
  return listing;
}

TEST(WrapperCheckTest, WritesNothingIntoTheBundle) {
  // Bundles whose repair the launchers would do themselves: a missing and a dangling X11 link,
  // no instance file, and the plain one.
  for (bool withLink : {true, false}) {
    TestBundleOptions options;
    options.withX11Link = withLink;
    TestBundle bundle = MakeTestBundle(options);
    InstallLauncher(bundle, "Valnor");
    if (!withLink) fs::create_symlink("../MacOS/Gone.app/X11", bundle.contents + "/SharedSupport/X11");
    const std::string before = ListingWithTimes(bundle.app);
    for (const char* form : {"", "--json"}) {
      RunResult result = *form ? RunCheck(bundle, {form, bundle.app}) : RunCheck(bundle, {bundle.app});
      EXPECT_EQ(result.exitStatus, 0) << result.out;
    }
    EXPECT_EQ(ListingWithTimes(bundle.app), before);
    EXPECT_FALSE(PathExists(bundle.paths.tempFile));
    EXPECT_FALSE(PathExists(bundle.paths.instanceFile));
    RemoveTestBundle(bundle);
  }
}

// Root may write everywhere, so as root the check runs as the unprivileged user nobody.
TEST(WrapperCheckTest, ContentsThatCannotBeWrittenIsAnError) {
  TestBundle bundle = MakeTestBundle();
  InstallLauncher(bundle, "Valnor");
  chmod(bundle.root.c_str(), 0755);
  chmod(bundle.contents.c_str(), 0555);
  RunResult result;
  if (geteuid() == 0) {
    if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "running as root without setpriv";
    RunOptions options;
    options.args = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", WRAPPER_CHECK_BINARY,
                    bundle.app};
    result = RunProgram("/usr/bin/setpriv", "setpriv", options);
  } else {
    result = RunCheck(bundle, {bundle.app});
  }
  EXPECT_EQ(result.exitStatus, 1) << result.out;
  EXPECT_TRUE(HasFinding(result.out, "folders", "Contents cannot be written")) << result.out;
  RemoveTestBundle(bundle);
}

// Returns the first line /usr/bin/find prints for the markers below macos, read through a pipe.
std::string FirstLineOfFind(const std::string& macos) {
  FILE* pipe = popen(("/usr/bin/find '" + macos + "' -name .X11location").c_str(), "r");
  std::string out;
  char buffer[512];
  while (pipe && std::fgets(buffer, sizeof(buffer), pipe)) out += buffer;
  if (pipe) pclose(pipe);
  return out.substr(0, out.find('\n'));
}

TEST(WrapperCheckTest, SeveralMarkersNameTheOneFindListsFirst) {
  TestBundle bundle = MakeTestBundle();
  InstallLauncher(bundle, "Valnor");
  for (const char* folder : {"Zed.app", "Alpha.app/Deep", "Mid.app", "QVX11.app/Contents"}) {
    fs::create_directories(bundle.paths.macos + "/" + folder);
    WriteFile(bundle.paths.macos + "/" + folder + "/.X11location", "");
  }
  const std::string first = FirstLineOfFind(bundle.paths.macos);
  ASSERT_FALSE(first.empty());
  RunResult result = RunCheck(bundle, {bundle.app});
  EXPECT_TRUE(HasFinding(result.out, "X11 app", "5 .X11location markers")) << result.out;
  EXPECT_TRUE(HasFinding(result.out, "X11 app", "the first that find lists counts: " + first + ",")) << result.out;
  EXPECT_EQ(result.exitStatus, first == bundle.paths.macos + "/QVX11.app/.X11location" ? 0 : 1) << result.out;
  RemoveTestBundle(bundle);
}

}  // namespace
