#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "gui/gui_main.h"

// Without arguments, or with "gui" (and --home DIR), the desktop program opens; every other
// command line is work for the command-line program.
int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "gui" || args[0] == "--home") return qx::gui::RunGui(argc, argv);
    std::ios::sync_with_stdio(false);
    return qx::cli::RunCli(args, std::cout, std::cerr);
}
