#include "faults/fault_helpers.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/process_state.h"

namespace fs = std::filesystem;

pid_t StartLauncher(const LaunchPlan& plan, const std::string& outFile,
                    const std::string& errFile) {
  return StartProgram(plan.program, plan.argv0, plan.options, outFile, errFile);
}

TimedRun RunTimed(const LaunchPlan& plan, const std::string& scratchFolder, double limitSeconds) {
  const std::string out = scratchFolder + "/run.out", err = scratchFolder + "/run.err";
  auto start = std::chrono::steady_clock::now();
  pid_t pid = StartLauncher(plan, out, err);
  TimedRun run;
  run.result = WaitProgram(pid, limitSeconds, out, err);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  unlink(out.c_str());
  unlink(err.c_str());
  return run;
}

TestBundle MakeFaultBundle(const TestBundleOptions& options) {
  TestBundle bundle = MakeTestBundle(options);
  WriteFile(bundle.control + "/zenity.choice", "/Users/u/setup.exe\n");
  WriteFile(bundle.control + "/wineserver.seconds", "1");
  return bundle;
}

LaunchPlan PlanFor(const TestBundle& bundle, const std::string& program, double waitSeconds) {
  LaunchPlan plan;
  plan.program = InstallLauncher(bundle, program);
  plan.argv0 = plan.program;
  plan.options = LauncherRunOptions(bundle);
  plan.options.env["QUILLON_WAIT_SECONDS"] = std::to_string(waitSeconds);
  plan.options.workingFolder = bundle.root;
  return plan;
}

std::vector<std::string> FindNamed(const std::string& folder, const std::string& name) {
  std::vector<std::string> found;
  std::error_code error;
  if (fs::path(folder).filename() == name) found.push_back(folder);
  for (auto it = fs::recursive_directory_iterator(folder, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->path().filename() == name) found.push_back(it->path().string());
  }
  return found;
}

void HandBundleToNobody(const TestBundle& bundle) {
  chmod(bundle.root.c_str(), 0755);
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(bundle.root, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    lchown(it->path().c_str(), kNobodyUid, kNobodyGid);
  }
}

void ScriptPidof(const TestBundle& bundle, const std::string& script) {
  WriteFile(bundle.control + "/pidof.sh", script);
}

pid_t StartBystander() {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    if (chdir("/") != 0) _exit(126);
    execl("/bin/sleep", "sleep", "600", static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid, pid);
  return pid;
}

bool IsAlive(pid_t pid) { return pid > 0 && kill(pid, 0) == 0 && !IsZombieProcess(pid); }

void EndBystander(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}
