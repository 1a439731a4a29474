// The instance file Contents/.AlreadyRunningPID: free, claimed by a live process, or a stale claim.
#ifndef QUILLON_CHECKER_INSTANCE_CHECK_H_
#define QUILLON_CHECKER_INSTANCE_CHECK_H_

#include <string>
#include <vector>

#include "checker/finding.h"

// Returns the finding for the instance file's first line as the guard judged it (free or not);
// exists tells whether the file is there, commandName is the claiming process's name or "".
Finding ClassifyInstance(bool exists, const std::string& firstLine, bool free,
                         const std::string& commandName);

// Returns the command name of the process with pid as ps reports it; "" when it cannot be read.
std::string ReadCommandName(int pid);

// Returns the finding for the instance file at path; reads it and probes the process only.
Finding CheckInstance(const std::string& instanceFile);

#endif  // QUILLON_CHECKER_INSTANCE_CHECK_H_
