#include "tests/fixture.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "display/x11_ready.h"
#include "platform/process_state.h"
#include "tests/private_x11_sockets.h"

namespace fs = std::filesystem;

namespace {

// Every stand-in starts by recording its words, its working folder and its environment.
const char kRecordPrologue[] =
    "name=$(basename \"$0\")\n"
    "printf '%s\\0' \"$@\" > \"$root/record/$name.argv\"\n"
    "pwd -P > \"$root/record/$name.cwd\"\n"
    "env -0 > \"$root/record/$name.env\"\n"
    "echo \"$*\" >> \"$root/record/$name.calls\"\n";

// The pidof stand-in: a scripted answer from control/pidof.sh, or else the live stand-in
// servers of that name, one decimal ID a line.
const std::string kPidofBody =
    std::string("if [ -f \"$root/control/pidof.sh\" ]; then . \"$root/control/pidof.sh\"; exit 0; fi\n") +
    kListOwnStandIns;

// The X11 server stand-in: control/x11 says "never" (does not come up) or "exit" (comes up and
// ends at once); control/x11.delay delays its coming up; then it listens on the display's socket
// after control/x11.socket seconds (default 0; "never": it runs but never answers).
const char kX11Body[] =
    "echo \"stand-in X11 server serving $1\"\n"
    "mode=$(cat \"$root/control/x11\" 2>/dev/null)\n"
    "[ \"$mode\" = never ] && exit 0\n"
    "[ -f \"$root/control/x11.delay\" ] && sleep \"$(cat \"$root/control/x11.delay\")\"\n"
    "touch \"$root/running/QVX11Server.$$\"\n"
    "[ \"$mode\" = exit ] && exit 0\n"
    "socket=/tmp/.X11-unix/X${1#:}\n"
    "echo \"$socket\" >> \"$root/record/sockets\"\n"
    "exec \"$root/standins/x11-listener\" \"$socket\" "
    "\"$(cat \"$root/control/x11.socket\" 2>/dev/null || echo 0)\"\n";

// The engine stand-in: registers itself as "wine", notes whether its display's socket exists,
// brings up a stand-in Wine server that lives control/wineserver.seconds (default 1; "none" for
// no server), then runs control/wine.seconds (default 0). With control/ignore-term both ignore
// SIGTERM.
const char kWineBody[] =
    "echo \"stand-in engine running $*\"\n"
    "[ -f \"$root/control/ignore-term\" ] && trap '' TERM\n"
    "touch \"$root/running/wine.$$\"\n"
    "if [ -S \"/tmp/.X11-unix/X${DISPLAY#:}\" ]; then echo answering; else echo silent; fi"
    " > \"$root/record/wine.display\"\n"
    "life=$(cat \"$root/control/wineserver.seconds\" 2>/dev/null || echo 1)\n"
    "[ \"$life\" = none ] || \"$root/standins/wineserver\" \"$life\" < /dev/null &\n"
    "sleep \"$(cat \"$root/control/wine.seconds\" 2>/dev/null || echo 0)\"\n";

const char kWineserverBody[] =
    "[ -f \"$root/control/ignore-term\" ] && trap '' TERM\n"
    "touch \"$root/running/wineserver.$$\"\n"
    "exec sleep \"$1\"\n";

// The dialog stand-ins: a file selection prints control/«name».choice as it stands, or cancels;
// control/«name».wait makes the user take that many seconds.
const char kDialogBody[] =
    "echo $$ > \"$root/record/$name.pid\"\n"
    "case \"$*\" in\n"
    "  *--file-selection*|*--getopenfilename*)\n"
    "    [ -f \"$root/control/$name.wait\" ] && sleep \"$(cat \"$root/control/$name.wait\")\"\n"
    "    [ -f \"$root/control/$name.choice\" ] || exit 1\n"
    "    cat \"$root/control/$name.choice\"; exit 0;;\n"
    "esac\n"
    "exit 0\n";

void WriteScript(const std::string& path, const std::string& root, const std::string& body) {
  WriteFile(path, "#!/bin/sh\nroot='" + root + "'\n" + kRecordPrologue + body);
  chmod(path.c_str(), 0755);
}

void MakeFolder(const std::string& path) {
  std::error_code error;
  fs::create_directories(path, error);
  EXPECT_FALSE(error) << "cannot create " << path << ": " << error.message();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string InfoPlistText(const LaunchConfig& config) {
  std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
      "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n"
      "<dict>\n"
      "\t<key>CFBundleExecutable</key>\n"
      "\t<string>Valnor</string>\n";
  auto addString = [&text](const char* key, const std::string& value) {
    if (value.empty()) return;
    text += std::string("\t<key>") + key + "</key>\n\t<string>" + value + "</string>\n";
  };
  addString(kCmdLineKey, config.cmdLine);
  addString(kWorkdirKey, config.workdir);
  addString(kCmdLineFlagsKey, config.cmdLineFlags);
  addString(kEngineRequirementKey, config.engineRequirement);
  if (!config.quickX11KillShutdown.empty()) {
    text += std::string("\t<key>") + kQuickX11KillShutdownKey + "</key>\n\t<" +
            config.quickX11KillShutdown + "/>\n";
  }
  text += "</dict>\n</plist>\n";
  return text;
}

TestBundle MakeTestBundle(const TestBundleOptions& options) {
  // The stand-in X11 servers' sockets stay out of the machine's /tmp/.X11-unix where possible.
  UsePrivateX11SocketFolder();
  TestBundle bundle;
  char pattern[] = "/tmp/quillon-test.XXXXXX";
  const char* made = mkdtemp(pattern);
  EXPECT_NE(made, nullptr) << "mkdtemp: " << std::strerror(errno);
  bundle.root = made ? made : "/tmp";
  bundle.app = bundle.root + "/" + options.appFolder;
  bundle.contents = bundle.app + "/Contents";
  bundle.x11App = options.x11App;
  bundle.record = bundle.root + "/record";
  bundle.control = bundle.root + "/control";
  bundle.running = bundle.root + "/running";
  bundle.bin = bundle.root + "/bin";
  bundle.paths = *DeriveBundlePaths(bundle.contents + "/MacOS/Valnor", kValnorSuffix);
  for (const std::string& folder : {bundle.record, bundle.control, bundle.running, bundle.bin,
                                    bundle.root + "/standins", bundle.paths.macos,
                                    bundle.contents + "/SharedSupport/Ambergate/support/default",
                                    bundle.paths.driveC}) {
    MakeFolder(folder);
  }
  const std::string& root = bundle.root;
  WriteFile(bundle.paths.infoPlist, InfoPlistText(options.config));
  if (options.withLogs) MakeFolder(bundle.contents + "/Resources/Logs");
  if (options.withPidof) WriteScript(bundle.paths.macos + "/pidof", root, kPidofBody);
  MakeFolder(bundle.contents + "/SharedSupport/Ambergate/bin");
  if (options.withEngine) {
    WriteScript(bundle.contents + "/SharedSupport/Ambergate/bin/wine", root, kWineBody);
  }
  WriteScript(root + "/standins/wineserver", root, kWineserverBody);
  // A file of the bundle's own, not a link into the build: a test that hides /tmp behind a
  // private tmpfs keeps only the bundle's folder, and the build may lie below /tmp.
  std::error_code linked;
  fs::create_hard_link(X11_LISTENER_BINARY, root + "/standins/x11-listener", linked);
  if (linked) fs::copy_file(X11_LISTENER_BINARY, root + "/standins/x11-listener");
  if (!options.x11App.empty()) {
    std::string x11 = bundle.paths.macos + "/" + options.x11App;
    MakeFolder(x11 + "/Contents/MacOS");
    MakeFolder(x11 + "/Contents/SharedSupport/X11/lib");
    WriteFile(x11 + "/.X11location", "");
    WriteScript(x11 + "/Contents/MacOS/QVX11Server", root, kX11Body);
    if (options.withX11Link) {
      fs::create_symlink("../MacOS/" + options.x11App + "/Contents/SharedSupport/X11",
                         bundle.contents + "/SharedSupport/X11");
    }
  }
  if (options.withProgram && !options.config.cmdLine.empty()) {
    std::string program = bundle.paths.driveC + options.config.cmdLine;
    MakeFolder(fs::path(program).parent_path().string());
    WriteFile(program, "MZ stand-in Windows program\n");
  }
  WriteScript(bundle.bin + "/zenity", root, kDialogBody);
  WriteScript(bundle.bin + "/kdialog", root, kDialogBody);
  return bundle;
}

void RemoveTestBundle(const TestBundle& bundle) {
  for (const char* name : {"QVX11Server", "wineserver", "wine"}) {
    for (pid_t pid : LiveStandIns(bundle, name)) kill(pid, SIGKILL);
  }
  // The sockets its stand-in X11 servers left, unless another server answers there by now.
  std::istringstream sockets(ReadFile(bundle.record + "/sockets"));
  for (std::string socket; std::getline(sockets, socket);) {
    if (!DoesSocketAnswer(socket)) unlink(socket.c_str());
  }
  std::error_code error;
  // A test may have made folders read-only; give the owner its rights back before removing.
  fs::permissions(bundle.root, fs::perms::owner_all, fs::perm_options::add, error);
  for (auto it = fs::recursive_directory_iterator(bundle.root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
  }
  fs::remove_all(bundle.root, error);
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> RecordedArgs(const TestBundle& bundle, const std::string& name) {
  std::vector<std::string> args;
  std::string content = ReadFile(bundle.record + "/" + name + ".argv");
  std::string::size_type start = 0;
  for (std::string::size_type end; (end = content.find('\0', start)) != std::string::npos;
       start = end + 1) {
    args.push_back(content.substr(start, end - start));
  }
  return args;
}

std::map<std::string, std::string> RecordedEnv(const TestBundle& bundle, const std::string& name) {
  std::map<std::string, std::string> env;
  std::string content = ReadFile(bundle.record + "/" + name + ".env");
  std::string::size_type start = 0;
  for (std::string::size_type end; (end = content.find('\0', start)) != std::string::npos;
       start = end + 1) {
    std::string entry = content.substr(start, end - start);
    std::string::size_type equals = entry.find('=');
    if (equals != std::string::npos) env[entry.substr(0, equals)] = entry.substr(equals + 1);
  }
  return env;
}

int RecordedCalls(const TestBundle& bundle, const std::string& name) {
  std::string content = ReadFile(bundle.record + "/" + name + ".calls");
  int lines = 0;
  for (char c : content) lines += c == '\n';
  return lines;
}

std::vector<pid_t> LiveStandIns(const TestBundle& bundle, const std::string& name) {
  std::vector<pid_t> pids;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(bundle.running, error)) {
    std::string file = entry.path().filename().string();
    if (file.compare(0, name.size() + 1, name + ".") != 0) continue;
    pid_t pid = static_cast<pid_t>(std::atoi(file.c_str() + name.size() + 1));
    if (pid > 0 && kill(pid, 0) == 0 && !IsZombieProcess(pid)) pids.push_back(pid);
  }
  return pids;
}

bool WaitForStandIn(const TestBundle& bundle, const std::string& name, double seconds) {
  auto start = std::chrono::steady_clock::now();
  while (LiveStandIns(bundle, name).empty()) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool WaitForStandInsToEnd(const TestBundle& bundle, double seconds) {
  auto start = std::chrono::steady_clock::now();
  while (!LiveStandIns(bundle, "QVX11Server").empty() ||
         !LiveStandIns(bundle, "wineserver").empty()) {
    if (SecondsSince(start) > seconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::string BuiltLauncher(const std::string& program) {
  const char* folder = std::getenv(kLaunchersVariable);
  if (folder != nullptr && *folder != '\0') return std::string(folder) + "/" + program;
  return program == "Valnor" ? VALNOR_BINARY : BRACKENFOLD_BINARY;
}

std::string InstallLauncher(const TestBundle& bundle, const std::string& program) {
  std::string from = BuiltLauncher(program);
  std::string to = program == "Valnor"
                       ? bundle.paths.macos + "/Valnor"
                       : bundle.contents + "/Brackenfold.app/Contents/MacOS/Brackenfold";
  MakeFolder(fs::path(to).parent_path().string());
  std::error_code error;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
  EXPECT_FALSE(error) << "cannot copy " << from << ": " << error.message();
  return to;
}

pid_t StartProgram(const std::string& program, const std::string& argv0,
                   const RunOptions& options, const std::string& outFile,
                   const std::string& errFile) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& name : options.unsetEnv) unsetenv(name.c_str());
    for (const auto& [name, value] : options.env) setenv(name.c_str(), value.c_str(), 1);
    if (options.asNobody) {
      if (setgroups(0, nullptr) != 0 || setgid(kNobodyGid) != 0 || setuid(kNobodyUid) != 0) {
        _exit(125);
      }
      setenv("HOME", "/", 1);
    }
    if (!options.workingFolder.empty() && chdir(options.workingFolder.c_str()) != 0) _exit(126);
    if (options.startGateWriteFd >= 0) close(options.startGateWriteFd);
    if (options.startGateFd >= 0) {
      // The gate opens for every waiting child at once, when the parent closes its end.
      char byte;
      while (read(options.startGateFd, &byte, 1) > 0) {
      }
      close(options.startGateFd);
    }
    std::vector<char*> argv = {const_cast<char*>(argv0.c_str())};
    for (const std::string& word : options.args) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  EXPECT_GT(pid, 0) << "fork: " << std::strerror(errno);
  return pid;
}

RunResult WaitProgram(pid_t pid, double seconds, const std::string& outFile,
                      const std::string& errFile) {
  RunResult result;
  auto start = std::chrono::steady_clock::now();
  int status = 0;
  while (true) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0) return result;
    if (SecondsSince(start) > seconds) {
      result.timedOut = true;
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.out = ReadFile(outFile);
  result.err = ReadFile(errFile);
  return result;
}

RunResult RunProgram(const std::string& program, const std::string& argv0,
                     const RunOptions& options) {
  static int counter = 0;
  std::string base = "/tmp/quillon-run." + std::to_string(getpid()) + "." + std::to_string(++counter);
  std::string outFile = base + ".out";
  std::string errFile = base + ".err";
  pid_t pid = StartProgram(program, argv0, options, outFile, errFile);
  RunResult result = WaitProgram(pid, options.limitSeconds, outFile, errFile);
  unlink(outFile.c_str());
  unlink(errFile.c_str());
  return result;
}

RunOptions LauncherRunOptions(const TestBundle& bundle) {
  RunOptions options;
  const char* path = std::getenv("PATH");
  options.env["PATH"] = bundle.bin + ":" + (path ? path : "/usr/bin:/bin");
  options.env["QUILLON_WAIT_SECONDS"] = "5";
  options.env["DISPLAY"] = ":quillon-test";
  options.unsetEnv = {"WAYLAND_DISPLAY"};
  return options;
}
