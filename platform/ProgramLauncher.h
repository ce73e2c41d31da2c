#pragma once

#include <string>
#include <vector>

// Starting sibling programs the way the console's buttons do: a command line made of the
// working directory and a fixed tail, split on spaces with no quoting, run in that directory.

// The working directory (no trailing separator) followed by the tail, as it stands.
std::string BuildCommandLine(const std::string &workingDir, const std::string &tail);

// Splits on runs of spaces; there is no quoting, so a directory with a space in its name
// splits too, exactly as the command line would.
std::vector<std::string> SplitCommandLine(const std::string &commandLine);

// Starts the program the command line names, in `workingDir`, with this process's
// environment and none of its open files. Returns once the child has replaced itself with
// the program (true) or failed to (false). The child is reaped in the background.
bool StartProgram(const std::string &commandLine, const std::string &workingDir);
