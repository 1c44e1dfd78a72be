#pragma once
// The program's start-up and closing sequences, apart from the widgets: the
// settings file, the parameter table check and its backup, the installed
// templates and the selection restored from the settings.

#include <filesystem>
#include <optional>

#include "app/app_state.h"
#include "app/settings.h"
#include "runtime/ui.h"

namespace qx::app {

struct ProgramPaths {
    std::filesystem::path home;       // qx_cfg.ini, data.vdb, data.vdt, template/
    std::filesystem::path documents;  // the user's documents folder
    std::filesystem::path temporary;  // where ~temp.vdb and ~temp.vdt go
};

// The start-up steps in order: settings path, parameter table (the
// missing-table question; No ends the program: nothing is returned), the
// backups ~temp.vdb/~temp.vdt, the settings, the installed templates and the
// restored selection (auto-ordered). The returned settings are what the
// widgets show.
std::optional<Settings> StartUp(AppState& state, const ProgramPaths& paths, runtime::Ui& ui);

// The closing steps in order: close the working text, write the settings
// (taken from the widgets), delete the backups. Saving a pending parameter
// edit is the caller's, since it needs the editor's text. Returns whether
// the settings were written.
bool CloseDown(AppState& state, const ProgramPaths& paths, Settings settings);

// The template directories under home/template, in the order the file
// system gives them, as GBK names.
std::vector<runtime::Text> InstalledTemplates(const std::filesystem::path& home);

std::filesystem::path SettingsPath(const std::filesystem::path& home);  // home/qx_cfg.ini

}  // namespace qx::app
