// Whether a started X11 server's display answers yet: the engine starts only once a client can
// connect to the display's socket.
#ifndef QUILLON_DISPLAY_X11_READY_H_
#define QUILLON_DISPLAY_X11_READY_H_

#include <string>

#include "platform/held_process.h"

// Returns the socket a local client connects to for display: "/tmp/.X11-unix/X«n»" for ":«n»",
// the same path on macOS and Linux; "" for a text that is no ":«number»".
std::string X11SocketPath(const std::string& display);

// Returns 0 when a client can connect to the Unix socket at path now, otherwise the errno that
// tells why not (ENOENT for no socket, ECONNREFUSED for one that nobody serves).
int ConnectErrorOf(const std::string& path);

// Returns true when a client can connect to the Unix socket at path now.
bool DoesSocketAnswer(const std::string& path);

// Returns true once display's socket accepts a connection, probing with the snapshots' pacing;
// false when the server has ended first, when none answered within WaitBoundSeconds(), or as
// soon as a quit signal comes in.
bool WaitForDisplayToAnswer(const std::string& display, const HeldProcess& server);

#endif  // QUILLON_DISPLAY_X11_READY_H_
