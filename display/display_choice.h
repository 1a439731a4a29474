// Stepping from a chosen X11 display to one that no server on this machine holds yet.
#ifndef QUILLON_DISPLAY_DISPLAY_CHOICE_H_
#define QUILLON_DISPLAY_DISPLAY_CHOICE_H_

#include <string>

// Returns true when display number n is held below root: root/.X11-unix/X«n» exists, or
// root/.X«n»-lock names a live process.
bool IsDisplayTaken(int n, const std::string& root);

// Returns display unchanged when it is free (or is no ":«number»" text), otherwise the next
// free display after it, stepping past 7160 back to 5; display unchanged when a few hundred
// tries find none. Looks in root's .X11-unix folder and lock files.
std::string ChooseFreeDisplay(const std::string& display, const std::string& root);

// Returns ChooseFreeDisplay(display, "/tmp"): the machine's own X11 sockets and locks.
std::string ChooseFreeDisplay(const std::string& display);

#endif  // QUILLON_DISPLAY_DISPLAY_CHOICE_H_
