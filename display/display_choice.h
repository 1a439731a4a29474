// Stepping from a chosen X11 display to one that no server on this machine holds yet.
#ifndef QUILLON_DISPLAY_DISPLAY_CHOICE_H_
#define QUILLON_DISPLAY_DISPLAY_CHOICE_H_

#include <string>

// Returns true when display number n is held below root: a server listens on
// root/.X11-unix/X«n» (or something other than a socket lies there), or root/.X«n»-lock names a
// live process, or is no regular file. A socket left behind by a killed server does not hold
// the display.
bool IsDisplayTaken(int n, const std::string& root);

// Returns display unchanged when it is free (or is no ":«number»" text), otherwise the next
// free display after it, stepping past 7160 back to 5; display unchanged when a few hundred
// tries find none. Looks in root's .X11-unix folder and lock files.
std::string ChooseFreeDisplay(const std::string& display, const std::string& root);

// Returns ChooseFreeDisplay(display, "/tmp"): the machine's own X11 sockets and locks.
std::string ChooseFreeDisplay(const std::string& display);

// Returns the path of this user's display claims file: ".quillon-displays" in $XDG_RUNTIME_DIR,
// else in $TMPDIR (each taken only when it is an absolute path), else
// "/tmp/.quillon-displays-«effective user ID»".
std::string DisplayClaimsFile();

// Returns the display ChooseFreeDisplay gives, also stepping past displays that a live launcher
// has claimed in claimsFile, and claims it there for the calling process until that ends. The
// file is locked while it is read and written, so two launchers that start in the same second
// never get the same display. Only a file this call creates (mode 0600), or a regular file with
// one link that the caller's user owns, is opened (without following a link or blocking) and
// rewritten; for anything else, or when the lock is not had within a few seconds, it falls back
// to ChooseFreeDisplay and leaves the file as it is.
std::string ClaimFreeDisplay(const std::string& display, const std::string& root,
                             const std::string& claimsFile);

// Returns ClaimFreeDisplay(display, "/tmp", DisplayClaimsFile()).
std::string ClaimFreeDisplay(const std::string& display);

#endif  // QUILLON_DISPLAY_DISPLAY_CHOICE_H_
