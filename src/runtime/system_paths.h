#pragma once
// Where the program finds its home and the user's folders.

#include <filesystem>
#include <optional>
#include <string>

namespace qx::runtime {

// Where the program keeps what it keeps. A portable copy keeps everything in
// one folder (the program home); an installed copy, whose own folder is not
// the user's, keeps the user's things in the user's XDG folders and finds
// the templates that came with it in the installation's share folder.
struct HomeLayout {
    std::filesystem::path home;                // data.vdb, data.vdt, template/ (the user's templates)
    std::filesystem::path config;              // qx_cfg.ini, heading_rules.txt
    std::filesystem::path installedTemplates;  // read-only templates of an installed copy; empty when portable
    bool perUser = false;                      // the installed layout
};

// The layout of the program home: `override` when given (the --home option),
// otherwise QX_HOME when set, otherwise the directory of the executable when
// it is a portable copy's (writable, and not a bin folder beside an
// installation's share/qxebook), otherwise the per-user layout:
// $XDG_CONFIG_HOME/qxebook (default ~/.config/qxebook) for the settings,
// $XDG_DATA_HOME/qxebook (default ~/.local/share/qxebook) for the rest,
// <executable>/../share/qxebook/template for the installed templates.
HomeLayout LocateProgramHome(const std::optional<std::filesystem::path>& override = std::nullopt);
// The same for an executable in `executableDirectory`.
HomeLayout LocateProgramHome(const std::optional<std::filesystem::path>& override,
                             const std::filesystem::path& executableDirectory);

// The program home alone (the `home` of LocateProgramHome).
std::filesystem::path ProgramHome(const std::optional<std::filesystem::path>& override = std::nullopt);

// The directory of the running executable.
std::filesystem::path ExecutableDirectory();

// The user's documents folder (the home directory when there is none).
std::filesystem::path DocumentsDirectory();

// The directory for temporary files.
std::filesystem::path TemporaryDirectory();

}  // namespace qx::runtime
