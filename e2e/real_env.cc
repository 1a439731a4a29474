#include "e2e/real_env.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "bundle/shell.h"
#include "bundle/text_file.h"
#include "platform/process_state.h"
#include "tests/fixture.h"

namespace fs = std::filesystem;

namespace {

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs command with its output going to a scratch file; returns the status, fills *output.
int RunCapturing(const std::string& command, std::string* output) {
  std::string file = WorkFolder() + "/.output." + std::to_string(getpid());
  int status = RunShellCommand(command + " > " + QuoteForShell(file) + " 2>&1");
  if (output) *output = ReadFile(file);
  unlink(file.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool StartsWith(const std::string& text, const std::string& head) {
  return !text.empty() && text.compare(0, head.size(), head) == 0;
}

}  // namespace

std::string FindExecutable(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate)) return candidate;
  }
  return "";
}

std::string MissingForRealRuns() {
  if (FindExecutable("wine").empty() && access("/usr/lib/wine/wine64", X_OK) != 0) {
    return "Wine is not installed (scripts/install-deps real)";
  }
  if (FindExecutable("Xvfb").empty()) return "Xvfb is not installed (scripts/install-deps real)";
  if (std::string(QUILLON_SAMPLE).empty() || access(QUILLON_SAMPLE, R_OK) != 0) {
    return "the sample Windows program was not built (x86_64-w64-mingw32-gcc missing)";
  }
  return "";
}

std::string WorkFolder() {
  fs::create_directories(QUILLON_E2E_WORK);
  return QUILLON_E2E_WORK;
}

std::string ArtifactFolder() {
  fs::create_directories(QUILLON_E2E_ARTIFACTS);
  return QUILLON_E2E_ARTIFACTS;
}

std::string SeedPrefix() {
  return WorkFolder() + "/Seed.app/Contents/SharedSupport/Ambergate/support/default";
}

int RunBundleTool(const std::vector<std::string>& words, std::string* output) {
  std::string command = QuoteForShell(QUILLON_BUNDLE_TOOL);
  for (const std::string& word : words) command += " " + QuoteForShell(word);
  return RunCapturing(command, output);
}

std::string BuildSampleBundle(const std::string& name, const std::vector<std::string>& words) {
  std::vector<std::string> all = {"--program", QUILLON_SAMPLE, "--name", name, "--dest",
                                  WorkFolder(), "--x11", "xvfb", "--force",
                                  "--prefix-from", SeedPrefix(), "--link-prefix"};
  all.insert(all.end(), words.begin(), words.end());
  std::string output;
  int status = RunBundleTool(all, &output);
  EXPECT_EQ(status, 0) << output;
  return status == 0 ? WorkFolder() + "/" + name + ".app/Contents" : "";
}

std::map<std::string, std::string> ReadReport(const std::string& path) {
  std::map<std::string, std::string> report;
  for (const std::string& line : ReadLines(path)) {
    std::string::size_type colon = line.find(": ");
    if (colon != std::string::npos) report[line.substr(0, colon)] = line.substr(colon + 2);
  }
  return report;
}

bool WaitForReport(const std::string& path, double seconds) {
  auto start = std::chrono::steady_clock::now();
  while (ReadReport(path).count("DISPLAY") == 0) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

std::vector<pid_t> BundleProcesses(const std::string& contents, const std::string& name) {
  std::string output;
  RunCapturing(QuoteForShell(contents + "/MacOS/pidof") + " " + QuoteForShell(name), &output);
  std::vector<pid_t> pids;
  std::stringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    pid_t pid = static_cast<pid_t>(std::atoi(line.c_str()));
    if (pid <= 0) continue;
    bool known = false;
    std::string prefix = ProcessEnvironmentValue(pid, "WINEPREFIX", &known);
    if (StartsWith(ProcessWorkingFolder(pid), contents + "/") || StartsWith(prefix, contents + "/")) {
      pids.push_back(pid);
    }
  }
  return pids;
}

bool WaitForBundleServersToEnd(const std::string& contents, double seconds) {
  auto start = std::chrono::steady_clock::now();
  while (!BundleProcesses(contents, "QVX11Server").empty() ||
         !BundleProcesses(contents, "wineserver").empty()) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

bool WaitForWindow(const std::string& display, const std::string& title, double seconds) {
  auto start = std::chrono::steady_clock::now();
  std::string command = "xwininfo -display " + QuoteForShell(display) + " -root -tree";
  while (true) {
    std::string output;
    RunCapturing(command, &output);
    if (output.find("\"" + title + "\"") != std::string::npos) return true;
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

bool TakeScreenshot(const std::string& display, const std::string& pngFile) {
  std::string xwd = pngFile + ".xwd";
  // /usr/bin/convert by its full path: another convert may come first on PATH.
  int status = RunCapturing("xwd -root -silent -display " + QuoteForShell(display) + " > " +
                                QuoteForShell(xwd) + " && /usr/bin/convert " +
                                QuoteForShell("xwd:" + xwd) + " " + QuoteForShell("png:" + pngFile),
                            nullptr);
  unlink(xwd.c_str());
  return status == 0 && fs::exists(pngFile);
}

double SampleColourShare(const std::string& pngFile) {
  std::string output;
  RunCapturing("/usr/bin/convert " + QuoteForShell(pngFile) +
                   " -alpha off -fill black +opaque 'rgb(255,140,0)' -fill white"
                   " -opaque 'rgb(255,140,0)' -format '%[fx:mean]' info:",
               &output);
  return std::atof(output.c_str());
}

std::string StartTestDisplay(int first, pid_t* pid) {
  *pid = 0;
  for (int n = first; n < first + 20; ++n) {
    std::string display = ":" + std::to_string(n);
    if (PathExists("/tmp/.X11-unix/X" + std::to_string(n))) continue;
    std::string pidFile = WorkFolder() + "/test-xvfb.pid";
    RunShellCommand("Xvfb " + display + " > /dev/null 2>&1 & echo $! > " + QuoteForShell(pidFile));
    *pid = static_cast<pid_t>(std::atoi(ReadFile(pidFile).c_str()));
    for (int i = 0; i < 50; ++i, usleep(100000)) {
      if (RunShellCommand("xwininfo -display " + display + " -root > /dev/null 2>&1") == 0) {
        return display;
      }
    }
  }
  return "";
}

bool ChooseInFileDialog(const std::string& display, const std::string& path) {
  // Once the dialog is up, Ctrl+L opens its location field; the path is typed there and Return
  // chooses the file. Typing can lose keys on a busy machine, so while the dialog stays open
  // the field is cleared and the path typed again.
  const std::string dialog = "xdotool search --onlyvisible --name 'Please choose Windows'";
  return RunShellCommand(
             "export DISPLAY=" + display +
             "; timeout 60 xdotool search --sync --onlyvisible --name 'Please choose Windows' > /dev/null || exit 1; "
             "for attempt in 1 2 3 4 5; do "
             "w=$(" + dialog + " | head -n 1); [ -n \"$w\" ] || exit 0; sleep 1; "
             "xdotool windowfocus --sync \"$w\"; xdotool key ctrl+l; sleep 0.5; xdotool key ctrl+a; "
             "xdotool type --delay 30 " + QuoteForShell(path) + "; sleep 0.5; xdotool key Return; "
             "sleep 3; " + dialog + " > /dev/null || exit 0; "
             "done; exit 1") == 0;
}

std::string WaitForBundleWindow(const std::string& contents, const std::string& title, double seconds) {
  auto start = std::chrono::steady_clock::now();
  while (SecondsSince(start) <= seconds) {
    for (pid_t server : BundleProcesses(contents, "QVX11Server")) {
      // The server's first argument that begins with ":" is its display.
      std::string words = ReadFile("/proc/" + std::to_string(server) + "/cmdline");
      std::replace(words.begin(), words.end(), '\0', '\n');
      for (const std::string& word : SplitLines(words)) {
        if (word.size() < 2 || word[0] != ':') continue;
        std::string output;
        RunCapturing("xwininfo -display " + QuoteForShell(word) + " -root -tree", &output);
        if (output.find("\"" + title) != std::string::npos) return word;
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  return "";
}

bool PressReturnUntilGone(const std::string& display, const std::string& title, int tries) {
  const std::string find = "xdotool search --onlyvisible --name " + QuoteForShell(title) + " | head -n 1";
  return RunShellCommand("export DISPLAY=" + display + "; for attempt in $(seq " + std::to_string(tries) +
                         "); do w=$(" + find + "); [ -n \"$w\" ] || exit 0; "
                         "xdotool windowfocus --sync \"$w\"; sleep 0.5; xdotool key Return; sleep 3; "
                         "done; [ -z \"$(" + find + ")\" ]") == 0;
}

std::string MissingForInstallerRuns() {
  if (access("/usr/lib/wine/wine", X_OK) != 0) {
    return "Wine's 32-bit part (/usr/lib/wine/wine, wine32:i386) is not installed (scripts/install-deps real)";
  }
  for (const char* program : {"makensis", "lnkinfo", "zenity", "xdotool"}) {
    if (FindExecutable(program).empty()) {
      return std::string(program) + " is not installed (scripts/install-deps real)";
    }
  }
  if (std::string(QUILLON_SAMPLE32).empty() || access(QUILLON_SAMPLE32, R_OK) != 0) {
    return "the 32-bit sample was not built (i686-w64-mingw32-gcc missing)";
  }
  return "";
}

std::string BuildInstaller(const std::string& folder, const std::string& script,
                           const std::string& installerName) {
  fs::create_directories(folder);
  fs::copy_file(QUILLON_SAMPLE32, folder + "/sample32.exe", fs::copy_options::overwrite_existing);
  const std::string nsi = folder + "/" + installerName + ".nsi";
  WriteFile(nsi, script);
  std::string output;
  int status = RunCapturing("cd " + QuoteForShell(folder) + " && makensis -V2 " + QuoteForShell(nsi), &output);
  EXPECT_EQ(status, 0) << output;
  const std::string installer = folder + "/" + installerName;
  EXPECT_TRUE(fs::exists(installer)) << output;
  return status == 0 && fs::exists(installer) ? installer : "";
}

void ExpectCleanEnd(const std::string& contents) {
  EXPECT_NE(ReadFile(contents + "/Resources/Logs/LastWine.log").find("engine: "), std::string::npos);
  EXPECT_TRUE(PathExists(contents + "/Resources/Logs/LastX11.log"));
  EXPECT_TRUE(WaitForBundleServersToEnd(contents, 20)) << "an X server or Wine server is left";
  EXPECT_EQ(ReadFile(contents + "/.AlreadyRunningPID"), "Not Running\n");
}

RunOptions RealLauncherRunOptions() {
  RunOptions options;
  options.env["QUILLON_WAIT_SECONDS"] = "60";
  options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
  options.limitSeconds = 150;
  return options;
}
