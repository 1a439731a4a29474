// The benchmark's stand-in companions, one program that plays the part its name gives:
// pidof, QVX11Server, wine or wineserver. They do only what the launcher relies on, as fast as
// a process can, and write monotonic timestamps so the benchmark can tell when things happened.
// QUILLON_BENCH_ROOT names the folder with control/, record/ and running/.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
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

// Uses the processor for seconds, as an expensive pidof would.
void BurnProcessor(double seconds) {
  if (seconds <= 0) return;
  timespec start;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
  for (timespec now = start;; clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now)) {
    const double used = static_cast<double>(now.tv_sec - start.tv_sec) +
                        static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
    if (used >= seconds) return;
  }
}

// Lists the live servers of that name, one decimal ID a line, and counts the call; first uses
// control/pidof.cost seconds of processor time (default none).
int RunPidof(const char* name) {
  WriteText(Root() + "/record/pidof.calls", "x", true);
  BurnProcessor(ControlSeconds("pidof.cost", 0));
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

// Listens on the display's socket, /tmp/.X11-unix/X«n» for ":«n»", as an X server does;
// returns the listening descriptor or -1.
int ListenOnDisplay(const char* display) {
  const std::string number = display[0] == ':' ? display + 1 : display;
  const std::string path = "/tmp/.X11-unix/X" + number;
  mkdir("/tmp/.X11-unix", 01777);
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return -1;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  unlink(path.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 16) != 0) {
    return -1;
  }
  return fd;
}

// Comes up after control/x11.delay seconds, listens on its display, and serves until it is killed.
int RunX11Server(const char* display) {
  Stamp("x11.launched");
  SleepSeconds(ControlSeconds("x11.delay", 0));
  Announce("QVX11Server");
  int fd = ListenOnDisplay(display);
  Stamp("x11.up");
  while (true) {
    int client = fd >= 0 ? accept(fd, nullptr, nullptr) : -1;
    if (client >= 0) {
      close(client);
    } else {
      pause();
    }
  }
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
  if (name == "QVX11Server") return RunX11Server(argc > 1 ? argv[1] : ":0");
  if (name == "wine") return RunEngine();
  if (name == "wineserver") return RunWineserver(argc > 1 ? std::atof(argv[1]) : 1);
  std::fprintf(stderr, "stand-in: unknown part %s\n", name.c_str());
  return 2;
}
