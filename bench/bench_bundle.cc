#include "bench/bench_bundle.h"

#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>


namespace fs = std::filesystem;

namespace {

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void InstallProgram(const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec);
}

std::string InfoPlist(const std::string& quickX11KillShutdown) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
         "\t<key>QVOEMCmdLine</key>\n\t<string>/Program Files/Example/Example.exe</string>\n"
         "\t<key>QVOEMWorkdir</key>\n\t<string>/Program Files/Example</string>\n"
         "\t<key>Quillon Engine Requirement</key>\n\t<string>Ambergate 8</string>\n"
         "\t<key>Quick X11 Kill Shutdown</key>\n\t<" +
         quickX11KillShutdown + "/>\n</dict>\n</plist>\n";
}

// Kills every stand-in server named in running/ and forgets it.
void StopServers(const BenchBundle& bundle) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(bundle.root + "/running", error)) {
    const std::string file = entry.path().filename().string();
    const std::string::size_type dot = file.rfind('.');
    const pid_t pid = dot == std::string::npos ? 0 : std::atoi(file.c_str() + dot + 1);
    if (pid > 0) kill(pid, SIGKILL);
    fs::remove(entry.path(), error);
  }
}

}  // namespace

double MonotonicSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

BenchBundle MakeBenchBundle(const std::string& quickX11KillShutdown) {
  char pattern[] = "/tmp/quillon-bench.XXXXXX";
  BenchBundle bundle;
  bundle.root = mkdtemp(pattern) ? pattern : "/tmp/quillon-bench";
  bundle.contents = bundle.root + "/Bench Wrapper.app/Contents";
  bundle.macos = bundle.contents + "/MacOS";
  bundle.valnor = bundle.macos + "/Valnor";
  bundle.instanceFile = bundle.contents + "/.AlreadyRunningPID";
  const std::string x11 = bundle.macos + "/QVX11.app";
  const std::string prefix = bundle.contents + "/SharedSupport/Ambergate/support/default";
  for (const std::string& folder :
       {bundle.root + "/control", bundle.root + "/record", bundle.root + "/running",
        bundle.contents + "/Resources/Logs", x11 + "/Contents/SharedSupport/X11/lib",
        prefix + "/drive_c/Program Files/Example"}) {
    fs::create_directories(folder);
  }
  WriteText(bundle.contents + "/Info.plist", InfoPlist(quickX11KillShutdown));
  WriteText(prefix + "/drive_c/Program Files/Example/Example.exe", "MZ\n");
  WriteText(x11 + "/.X11location", "");
  fs::create_symlink("../MacOS/QVX11.app/Contents/SharedSupport/X11",
                     bundle.contents + "/SharedSupport/X11");
  InstallProgram(QUILLON_VALNOR, bundle.valnor);
  InstallProgram(QUILLON_STANDIN, bundle.macos + "/pidof");
  InstallProgram(QUILLON_STANDIN, x11 + "/Contents/MacOS/QVX11Server");
  InstallProgram(QUILLON_STANDIN, bundle.contents + "/SharedSupport/Ambergate/bin/wine");
  return bundle;
}

void RemoveBenchBundle(const BenchBundle& bundle) {
  StopServers(bundle);
  std::error_code error;
  fs::remove_all(bundle.root, error);
}

void SetControl(const BenchBundle& bundle, const std::string& name, const std::string& value) {
  const std::string path = bundle.root + "/control/" + name;
  std::error_code error;
  if (value.empty()) {
    fs::remove(path, error);
  } else {
    WriteText(path, value + "\n");
  }
}

void ResetRun(const BenchBundle& bundle) {
  StopServers(bundle);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(bundle.root + "/record", error)) {
    fs::remove(entry.path(), error);
  }
}

std::optional<double> ReadStamp(const BenchBundle& bundle, const std::string& name) {
  const std::string text = ReadText(bundle.root + "/record/" + name);
  if (text.empty()) return std::nullopt;
  return std::strtod(text.c_str(), nullptr) / 1e9;
}

int CountCalls(const BenchBundle& bundle, const std::string& name) {
  return static_cast<int>(ReadText(bundle.root + "/record/" + name + ".calls").size());
}

int LastX11ServerPID(const BenchBundle& bundle) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(bundle.root + "/running", error)) {
    const std::string file = entry.path().filename().string();
    if (file.rfind("QVX11Server.", 0) == 0) return std::atoi(file.c_str() + 12);
  }
  return 0;
}
