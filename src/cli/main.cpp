#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "gui/gui_main.h"

namespace {

// Without arguments, with "gui" (and --home DIR), or with nothing but the
// name of an existing file (what the desktop entry runs for a book opened
// from the file manager), the desktop program opens; every other command
// line is work for the command-line program.
bool OpensWindow(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "gui" || args[0] == "--home") return true;
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-' || qx::cli::IsCommand(args[0])) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(args[0], ec);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (OpensWindow(args)) return qx::gui::RunGui(argc, argv);
    std::ios::sync_with_stdio(false);
    return qx::cli::RunCli(args, std::cout, std::cerr);
}
