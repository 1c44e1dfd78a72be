#pragma once
// The program's start-up and closing sequences, apart from the widgets: the
// settings file, the parameter table check and its backup, the installed
// templates and the selection restored from the settings.

#include <filesystem>
#include <optional>

#include "app/app_state.h"
#include "app/settings.h"
#include "runtime/system_paths.h"
#include "runtime/ui.h"

namespace qx::app {

struct ProgramPaths {
    std::filesystem::path home;       // data.vdb, data.vdt, template/ (and qx_cfg.ini when `config` is empty)
    std::filesystem::path documents;  // the user's documents folder
    std::filesystem::path temporary;  // where ~temp.vdb and ~temp.vdt go
    std::filesystem::path config{};   // qx_cfg.ini and heading_rules.txt, when not in `home`
    std::filesystem::path installedTemplates{};  // templates of an installed copy, listed after the user's
    bool perUser = false;             // an installed copy's user: made on the first start, without asking

    const std::filesystem::path& ConfigDirectory() const { return config.empty() ? home : config; }
};

// The paths of a program home's layout.
ProgramPaths PathsOf(const runtime::HomeLayout& layout, std::filesystem::path documents,
                     std::filesystem::path temporary);

// The start-up steps in order: settings path, parameter table (the
// missing-table question; No ends the program: nothing is returned; an
// installed copy's new user gets the folders and the built-in table without
// the question), the
// backups ~temp.vdb/~temp.vdt, the settings, the installed templates and the
// restored selection (auto-ordered). The returned settings are what the
// widgets show.
std::optional<Settings> StartUp(AppState& state, const ProgramPaths& paths, runtime::Ui& ui);

// The closing steps in order: close the working text, write the settings
// (taken from the widgets), delete the backups. Saving a pending parameter
// edit is the caller's, since it needs the editor's text. Returns whether
// the settings were written; when they were not, and `ui` is given, an error
// box names the file and the system's reason (the old file stays as it was).
bool CloseDown(AppState& state, const ProgramPaths& paths, Settings settings, runtime::Ui* ui = nullptr);

// The template directories under home/template, in the order the file
// system gives them, then those of `installed` that the user has no template
// of the same name for, as GBK names.
std::vector<runtime::Text> InstalledTemplates(const std::filesystem::path& home,
                                              const std::filesystem::path& installed = {});

std::filesystem::path SettingsPath(const std::filesystem::path& configDirectory);  // <dir>/qx_cfg.ini

}  // namespace qx::app
