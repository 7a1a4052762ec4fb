// The checks as a child process runs them, each against a plug-in of its own loading.
#pragma once

#include "checks.h"
#include "verdicts.h"

namespace qvcheck {

// Runs one check in this process and prints its result line; ends the process with kChildCannotLoad
// when the plug-in cannot be loaded.
int RunChild(const Options& options);

}  // namespace qvcheck
