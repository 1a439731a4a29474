// Characters in the bundle's path that the shell treats specially.
#ifndef QUILLON_CHECKER_PATH_CHECK_H_
#define QUILLON_CHECKER_PATH_CHECK_H_

#include <string>
#include <vector>

#include "checker/finding.h"

// Returns the findings on the characters of the Contents folder's path: a line feed is an
// error, the four characters escaped inside double quotes are a note, other shell characters ok.
std::vector<Finding> CheckPathCharacters(const std::string& contents);

#endif  // QUILLON_CHECKER_PATH_CHECK_H_
