// Making a Windows program below the prefix's drive_c the bundle's program: the checks, the
// Info.plist edit, and the read-back through the launchers' own reader.
#ifndef QUILLON_CHECKER_SET_PROGRAM_H_
#define QUILLON_CHECKER_SET_PROGRAM_H_

#include <string>
#include <vector>

#include "bundle/bundle_paths.h"
#include "checker/plist_edit.h"

// What set-program was asked to write.
struct SetProgramRequest {
  std::string program;         // below drive_c, beginning with "/"
  std::string workdir;         // below drive_c; "" for the program's folder
  std::string flags;           // extra words for the program's command line
  std::string shutdownMode;    // "quick", "background", or "" to leave the setting as it is
};

// Returns the settings the request writes, in the order they are written.
std::vector<PlistSetting> SettingsFor(const SetProgramRequest& request);

// Returns why the request cannot be written into the bundle at paths (a value holding a
// forbidden character, a path not beginning with "/" or holding "..", a program that is no file
// below drive_c, a working folder that is no folder there); "" when it can.
std::string RefusalFor(const BundlePaths& paths, const SetProgramRequest& request);

// Writes the request's settings into the bundle's Info.plist through a temporary file that
// replaces it only once a property-list parser and the launchers' reader both read back every
// value exactly; returns "" when done, otherwise why Info.plist was left unchanged.
std::string SetProgram(const BundlePaths& paths, const SetProgramRequest& request);

#endif  // QUILLON_CHECKER_SET_PROGRAM_H_
