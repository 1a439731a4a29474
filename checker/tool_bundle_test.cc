// Bundles made by the assembly tool check clean: one around a stand-in program with a stand-in
// prefix and X server, and the sample bundle, made with Debian's Wine and Xvfb.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/fixture.h"

namespace fs = std::filesystem;

namespace {

// A temporary folder that removes itself.
struct ScratchFolder {
  ScratchFolder() {
    char pattern[] = "/tmp/quillon-check-tool.XXXXXX";
    const char* made = mkdtemp(pattern);
    path = made ? made : "";
  }
  ~ScratchFolder() {
    std::error_code error;
    if (!path.empty()) fs::remove_all(path, error);
  }
  std::string path;
};

// Runs the command line as a one-line /bin/sh script, since RunProgram passes no arguments.
RunResult RunShell(const std::string& command, const std::string& folder, double limitSeconds) {
  const std::string script = folder + "/run.sh";
  WriteFile(script, "#!/bin/sh\n" + command + "\n");
  chmod(script.c_str(), 0755);
  RunOptions options;
  options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
  options.workingFolder = folder;
  options.limitSeconds = limitSeconds;
  return RunProgram(script, script, options);
}

// Quotes a value for the run script; test folders hold no single quote.
std::string Quote(const std::string& value) { return "'" + value + "'"; }

void ExpectChecksClean(const std::string& bundle, const std::string& folder) {
  RunResult result = RunShell(Quote(WRAPPER_CHECK_BINARY) + " " + Quote(bundle), folder, 60);
  EXPECT_EQ(result.exitStatus, 0) << result.out << result.err;
  EXPECT_EQ(result.out.find("[error]"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("[warning]"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("verdict: the bundle can launch"), std::string::npos) << result.out;
}

TEST(ToolBundleTest, StandInBundleChecksClean) {
  if (access(QUILLON_BUNDLE_TOOL, X_OK) != 0) GTEST_SKIP() << "skipped: the assembly tool is not built";
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.path.empty());
  fs::create_directories(scratch.path + "/prefix/drive_c");
  WriteFile(scratch.path + "/Stand In.exe", "MZ stand-in\n");
  RunResult made = RunShell(Quote(QUILLON_BUNDLE_TOOL) + " --program 'Stand In.exe' --name 'Stand In'" +
                                " --prefix-from prefix --x11 /bin/true --dest .",
                            scratch.path, 120);
  ASSERT_EQ(made.exitStatus, 0) << made.out << made.err;
  ExpectChecksClean(scratch.path + "/Stand In.app", scratch.path);
}

TEST(ToolBundleTest, SampleBundleChecksClean) {
  std::string missing;
  if (access(QUILLON_BUNDLE_TOOL, X_OK) != 0) missing += " the assembly tool;";
  if (std::string(QUILLON_SAMPLE).empty() || access(QUILLON_SAMPLE, R_OK) != 0) {
    missing += " the sample Windows program (x86_64-w64-mingw32-gcc, scripts/install-deps real);";
  }
  for (const char* program : {"/usr/bin/wine", "/usr/bin/Xvfb"}) {
    if (access(program, X_OK) != 0) missing += std::string(" ") + program + " (scripts/install-deps real);";
  }
  if (!missing.empty()) GTEST_SKIP() << "skipped, missing:" << missing;
  ScratchFolder scratch;
  ASSERT_FALSE(scratch.path.empty());
  RunResult made = RunShell(Quote(QUILLON_BUNDLE_TOOL) + " --program " + Quote(QUILLON_SAMPLE) +
                                " --name Sample --install-dir '/Program Files/Sample' --x11 xvfb --dest .",
                            scratch.path, 240);
  ASSERT_EQ(made.exitStatus, 0) << made.out << made.err;
  ExpectChecksClean(scratch.path + "/Sample.app", scratch.path);
}

}  // namespace
