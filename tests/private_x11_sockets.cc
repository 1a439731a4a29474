#include "tests/private_x11_sockets.h"

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#endif

bool UsePrivateX11SocketFolder() {
#if defined(__linux__)
  static const bool inPlace = [] {
    if (unshare(CLONE_NEWNS) != 0) return false;
    // Mounts made from here on stay in this namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    mkdir("/tmp/.X11-unix", 01777);
    return mount("tmpfs", "/tmp/.X11-unix", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
  }();
  return inPlace;
#else
  return false;
#endif
}
