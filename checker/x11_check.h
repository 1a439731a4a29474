// The X11 server application: its marker as the launchers find it, its server program, its
// libraries and the engine's link to them.
#ifndef QUILLON_CHECKER_X11_CHECK_H_
#define QUILLON_CHECKER_X11_CHECK_H_

#include <string>
#include <vector>

#include "checker/finding.h"

// Returns every entry named ".X11location" below macos, as macos + "/" + its relative path, in
// the order find lists them: directory read order, depth first, each entry before what it
// holds, links not followed. Reads folders only.
std::vector<std::string> ListMarkers(const std::string& macos);

// Returns the line the launchers read from find's output: the first marker up to a line feed.
std::string FirstFindLine(const std::vector<std::string>& markers);

// Returns the findings on the markers alone (none, several, a line feed, a wrong place) and
// sets *x11App to the X11 application name the launchers derive from them.
std::vector<Finding> CheckMarkers(const std::string& macos, const std::vector<std::string>& markers,
                                  std::string* x11App);

// Returns the findings on the server program and the libraries folder inside the X11 app.
std::vector<Finding> CheckX11Server(const std::string& macos, const std::string& x11App);

// The kinds of entry Contents/SharedSupport/X11 can be.
enum class LinkState { kMissing, kLink, kDangling, kFolder, kFile, kUnopenable };

// Returns what the entry at path is; *target gets a link's target.
LinkState ReadLinkState(const std::string& path, std::string* target);

// Returns the finding on Contents/SharedSupport/X11 and what the launcher will do with it.
Finding CheckX11Link(const std::string& macos, const std::string& x11App);

#endif  // QUILLON_CHECKER_X11_CHECK_H_
