// The socket half of the stand-in X11 server: after a delay it listens on the Unix socket it is
// given, as an X server listens on /tmp/.X11-unix/X«n», and accepts and closes connections
// until it is killed. "never" as the delay: it lives without ever listening.
//   x11_listener SOCKET-PATH DELAY-SECONDS|never
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: x11_listener SOCKET-PATH DELAY-SECONDS|never\n");
    return 2;
  }
  const std::string path = argv[1];
  if (std::strcmp(argv[2], "never") == 0) {
    while (true) pause();
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[2])));
  const std::string folder = path.substr(0, path.rfind('/'));
  if (mkdir(folder.c_str(), 01777) == 0) chmod(folder.c_str(), 01777);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof(address.sun_path)) return 2;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  // A socket left by a killed server holds no display; it is replaced, as X servers do.
  unlink(path.c_str());
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(fd, 16) != 0) {
    std::perror(("x11_listener: " + path).c_str());
    return 1;
  }
  while (true) {
    int client = accept(fd, nullptr, nullptr);
    if (client >= 0) close(client);
  }
}
