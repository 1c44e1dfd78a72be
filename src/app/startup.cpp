#include "app/startup.h"

#include "app/parameter_store.h"
#include "runtime/encoding.h"

namespace qx::app {
namespace {

std::filesystem::path Backup(const ProgramPaths& paths, const char* extension) {
    return paths.temporary / (std::string("~temp.") + extension);
}

}  // namespace

std::filesystem::path SettingsPath(const std::filesystem::path& home) { return home / "qx_cfg.ini"; }

std::vector<runtime::Text> InstalledTemplates(const std::filesystem::path& home) {
    std::vector<runtime::Text> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(home / "template", ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_directory(typeError)) names.push_back(runtime::Utf8ToGbk(it->path().filename().string()));
    }
    return names;
}

std::optional<Settings> StartUp(AppState& state, const ProgramPaths& paths, runtime::Ui& ui) {
    state.home = paths.home;
    if (!EnsureParameterTable(paths.home, ui)) return std::nullopt;

    std::error_code ec;
    std::filesystem::copy_file(ParameterTablePath(paths.home), Backup(paths, "vdb"),
                               std::filesystem::copy_options::overwrite_existing, ec);
    std::filesystem::copy_file(ParameterTextsPath(paths.home), Backup(paths, "vdt"),
                               std::filesystem::copy_options::overwrite_existing, ec);

    Settings settings = ReadSettings(SettingsPath(paths.home), paths.documents);
    state.inputDirectory = settings.inputDirectory;
    state.packerPath = settings.packerPath;
    state.templates.SetInstalled(InstalledTemplates(paths.home));
    state.templates.RestoreSelection(settings.templates);
    state.headingRules = headings::LoadRules(paths.home);
    return settings;
}

bool CloseDown(AppState& state, const ProgramPaths& paths, Settings settings) {
    state.book.workingText.Close();
    settings.inputDirectory = state.inputDirectory;
    settings.templates = JoinTemplateNames(state.templates.Selected());
    settings.packerPath = state.packerPath;
    const bool written = WriteSettings(SettingsPath(paths.home), settings);
    std::error_code ec;
    std::filesystem::remove(Backup(paths, "vdb"), ec);
    std::filesystem::remove(Backup(paths, "vdt"), ec);
    return written;
}

}  // namespace qx::app
