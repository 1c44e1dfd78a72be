#pragma once
// The qxebook command line: argument parsing and printing only; the work is
// done by the core.

#include <iosfwd>
#include <string>
#include <vector>

namespace qx::cli {

// Runs the command line `args` (without the program name). Returns the exit
// code: 0 done, 1 the work was refused or failed, 2 bad usage.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Whether `word` is one of the command line's commands (inspect, convert, …).
bool IsCommand(const std::string& word);

}  // namespace qx::cli
