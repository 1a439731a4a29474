// A private /tmp/.X11-unix for a test program and everything it starts, so that the stand-in X11
// servers' sockets are seen by no one else on the machine.
#ifndef QUILLON_TESTS_PRIVATE_X11_SOCKETS_H_
#define QUILLON_TESTS_PRIVATE_X11_SOCKETS_H_

// Moves this process into a mount namespace of its own with an empty tmpfs on /tmp/.X11-unix,
// once; returns true when that is in place. Where it cannot be done (no privilege, several
// threads, another system) the machine's folder stays in use and it returns false.
bool UsePrivateX11SocketFolder();

#endif  // QUILLON_TESTS_PRIVATE_X11_SOCKETS_H_
