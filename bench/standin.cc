// The benchmark's stand-in companions, one program that plays the part its name gives:
// pidof, QVX11Server, wine or wineserver. They do only what the launcher relies on, as fast as
// a process can, and write monotonic timestamps so the benchmark can tell when things happened.
// QUILLON_BENCH_ROOT names the folder with control/, record/ and running/.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/process_state.h"

namespace {

std::string Root() {
  const char* root = std::getenv("QUILLON_BENCH_ROOT");
  return root ? root : ".";
}

// Writes text into path, replacing it; appends instead when append is set.
void WriteText(const std::string& path, const std::string& text, bool append = false) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0) return;
  ssize_t written = write(fd, text.data(), text.size());
  (void)written;
  close(fd);
}

// Returns the number in the control file, or fallback when it is missing.
double ControlSeconds(const std::string& name, double fallback) {
  FILE* in = std::fopen((Root() + "/control/" + name).c_str(), "r");
  if (!in) return fallback;
  double value = fallback;
  if (std::fscanf(in, "%lf", &value) != 1) value = fallback;
  std::fclose(in);
  return value;
}

// Records the monotonic time, in nanoseconds, into record/«name».
void Stamp(const std::string& name) {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
  WriteText(Root() + "/record/" + name, std::to_string(ns) + "\n");
}

void SleepSeconds(double seconds) {
  if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// Marks this process as a live server of that name for the pidof stand-in.
void Announce(const std::string& name) {
  WriteText(Root() + "/running/" + name + "." + std::to_string(getpid()), "");
}

// Lists the live servers of that name, one decimal ID a line, and counts the call.
int RunPidof(const char* name) {
  WriteText(Root() + "/record/pidof.calls", "x", true);
  const std::string prefix = std::string(name) + ".";
  DIR* folder = opendir((Root() + "/running").c_str());
  if (!folder) return 0;
  while (dirent* entry = readdir(folder)) {
    if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
    pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name + prefix.size()));
    if (pid > 0 && kill(pid, 0) == 0 && !IsZombieProcess(pid)) std::printf("%d\n", pid);
  }
  closedir(folder);
  return 0;
}

// Comes up after control/x11.delay seconds and serves until it is killed.
int RunX11Server() {
  Stamp("x11.launched");
  SleepSeconds(ControlSeconds("x11.delay", 0));
  Announce("QVX11Server");
  Stamp("x11.up");
  while (true) pause();
}

// Lives the given seconds, then records its end just before it exits.
int RunWineserver(double seconds) {
  Announce("wineserver");
  SleepSeconds(seconds);
  Stamp("wineserver.end");
  return 0;
}

// Brings up a Wine server when control/wineserver.seconds asks for one, then returns at once.
int RunEngine() {
  Stamp("wine.start");
  WriteText(Root() + "/record/wine.calls", "x", true);
  double life = ControlSeconds("wineserver.seconds", -1);
  if (life >= 0) {
    pid_t child = fork();
    if (child == 0) {
      // Its own session, as a daemon: it outlives the engine and is not waited for.
      setsid();
      _exit(RunWineserver(life));
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* slash = std::strrchr(argv[0], '/');
  const std::string name = slash ? slash + 1 : argv[0];
  if (name == "pidof") return argc > 1 ? RunPidof(argv[1]) : 2;
  if (name == "QVX11Server") return RunX11Server();
  if (name == "wine") return RunEngine();
  if (name == "wineserver") return RunWineserver(argc > 1 ? std::atof(argv[1]) : 1);
  std::fprintf(stderr, "stand-in: unknown part %s\n", name.c_str());
  return 2;
}
