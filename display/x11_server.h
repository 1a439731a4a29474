// The bundle's X11 server: finding its application folder, choosing a display, starting it.
#ifndef QUILLON_DISPLAY_X11_SERVER_H_
#define QUILLON_DISPLAY_X11_SERVER_H_

#include <cstdint>
#include <string>

#include "platform/held_process.h"

// Returns the find command that lists every ".X11location" marker below macos into scratchFile.
std::string ComposeFindMarkerCommand(const std::string& macos, const std::string& scratchFile);

// Returns the X11 application name for the first line find wrote: the line cut at its last "/",
// then macos and the "/" after it removed at their first occurrence.
std::string CutX11AppName(const std::string& firstLine, const std::string& macos);

// Returns the path, relative to macos, of the folder holding the first ".X11location" marker
// that find lists; "" when there is none, or when the name cut from find's first line does not
// lead to that marker (a line feed in the path). Creates, reads and removes the scratch file.
std::string GetQVX11AppName(const std::string& macos);

// Returns the display text for the generator's value r: ":" and a number from 5 to 7160.
std::string DisplayForRandomValue(int r);

// Returns a display text chosen from the generator seeded with the time in whole seconds.
std::string SetDisplay();

// Returns the command that starts the X11 server on display in the background, logging to LastX11.log.
std::string ComposeX11StartCommand(const std::string& macos, const std::string& x11App,
                                   const std::string& display);

// Returns the ID of the X11 server it started on display; 0 when none showed up within the bound,
// or at once, starting nothing, when the snapshots that would reveal its ID cannot be taken.
int32_t StartQVX11(const std::string& macos, const std::string& x11App,
                   const std::string& display);

// Kills the held X11 server with signal 9, through its pidfd where there is one, once
// IsStillOurServer confirms it; sends nothing otherwise (a process that took over the ID of
// an ended server, or an ID of 0 or below, which would reach a whole process group).
void StopX11Server(const HeldProcess& server, const std::string& macos);

#endif  // QUILLON_DISPLAY_X11_SERVER_H_
