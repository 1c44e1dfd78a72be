#pragma once
// Starting the outside programs (the CHM compiler, the packer) directly,
// never through a shell, so no book title or path is ever read as a command.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qx::projects {

struct ProcessRun {
    enum class End {
        Exited,         // ended by itself; exitCode holds its code
        Crashed,        // killed by a signal or an unhandled exception
        FailedToStart,  // not found, not executable or not a program of this system
        Stopped,        // keepWaiting returned false; the process was killed
        TimedOut,       // ran past the time limit; the process was killed
    };
    End end = End::FailedToStart;
    int exitCode = -1;
    std::string output;  // standard output and error together, as UTF-8
};

struct ProcessCall {
    std::filesystem::path program;
    std::vector<std::filesystem::path> arguments;
    std::filesystem::path workingDirectory;  // empty: the program's own
    // On Windows the command line is the program and every argument each in
    // double quotes, also without blanks (the HTML Help compiler's form).
    bool quoteEveryArgument = false;
    std::function<bool()> keepWaiting;   // polled about ten times a second
    int timeLimitSeconds = 0;             // zero: no limit
};

// Runs the program and waits for its end. The output kept is at most the
// last 256 KiB.
ProcessRun RunAndWait(const ProcessCall& call);

// Starts the program without waiting for it. Returns whether it started.
bool StartDetached(const std::filesystem::path& program, const std::vector<std::filesystem::path>& arguments);

// The first executable file called `name` in the directories of PATH.
std::optional<std::filesystem::path> FindOnPath(const std::string& name);

// Whether the file may be started as a program here (on Windows: exists).
bool IsExecutableFile(const std::filesystem::path& path);

}  // namespace qx::projects
