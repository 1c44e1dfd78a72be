// Compiled as GBK: the message about settings that could not be saved is GBK bytes.
#include "app/startup.h"

#include <algorithm>

#include "app/parameter_store.h"
#include "app/user_home.h"
#include "runtime/encoding.h"
#include "runtime/files.h"

namespace qx::app {
namespace {

constexpr std::string_view kSettingsNotSaved = "设置保存失败，原有设置文件未改动：";
constexpr std::string_view kReason = "\r\n原因：";

std::filesystem::path Backup(const ProgramPaths& paths, const char* extension) {
    return paths.temporary / (std::string("~temp.") + extension);
}

}  // namespace

std::filesystem::path SettingsPath(const std::filesystem::path& configDirectory) {
    return configDirectory / "qx_cfg.ini";
}

ProgramPaths PathsOf(const runtime::HomeLayout& layout, std::filesystem::path documents,
                     std::filesystem::path temporary) {
    ProgramPaths paths;
    paths.home = layout.home;
    paths.documents = std::move(documents);
    paths.temporary = std::move(temporary);
    paths.config = layout.config;
    paths.installedTemplates = layout.installedTemplates;
    paths.perUser = layout.perUser;
    return paths;
}

std::vector<runtime::Text> InstalledTemplates(const std::filesystem::path& home,
                                              const std::filesystem::path& installed) {
    std::vector<runtime::Text> names;
    const auto list = [&names](const std::filesystem::path& dir) {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (!it->is_directory(typeError)) continue;
            runtime::Text name = runtime::Utf8ToGbk(it->path().filename().string());
            if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(std::move(name));
        }
    };
    list(home / "template");
    if (!installed.empty()) list(installed);
    return names;
}

std::optional<Settings> StartUp(AppState& state, const ProgramPaths& paths, runtime::Ui& ui) {
    state.home = paths.home;
    if (paths.perUser) {
        // A new user of an installed copy: the folders, the built-in table
        // and the settings, made without asking.
        runtime::HomeLayout layout{paths.home, paths.ConfigDirectory(), paths.installedTemplates, true};
        std::string problem;
        if (!PrepareUserHome(layout, paths.documents, problem)) ui.Message(runtime::Utf8ToGbk(problem), runtime::Icon::Error);
    }
    if (!EnsureParameterTable(paths.home, ui)) return std::nullopt;

    std::error_code ec;
    std::filesystem::copy_file(ParameterTablePath(paths.home), Backup(paths, "vdb"),
                               std::filesystem::copy_options::overwrite_existing, ec);
    std::filesystem::copy_file(ParameterTextsPath(paths.home), Backup(paths, "vdt"),
                               std::filesystem::copy_options::overwrite_existing, ec);

    Settings settings = ReadSettings(SettingsPath(paths.ConfigDirectory()), paths.documents);
    state.inputDirectory = settings.inputDirectory;
    state.packerPath = settings.packerPath;
    state.templates.SetInstalled(InstalledTemplates(paths.home, paths.installedTemplates));
    state.templates.RestoreSelection(settings.templates);
    state.headingRules = headings::LoadRules(paths.ConfigDirectory());
    return settings;
}

bool CloseDown(AppState& state, const ProgramPaths& paths, Settings settings, runtime::Ui* ui) {
    state.book.workingText.Close();
    settings.inputDirectory = state.inputDirectory;
    settings.templates = JoinTemplateNames(state.templates.Selected());
    settings.packerPath = state.packerPath;
    const std::filesystem::path file = SettingsPath(paths.ConfigDirectory());
    std::error_code error;
    const bool written = WriteSettings(file, settings, error);
    if (!written && ui) {
        ui->Message(std::string(kSettingsNotSaved) + runtime::Utf8ToGbk(file.string()) + std::string(kReason) +
                        runtime::ReasonOf(error),
                    runtime::Icon::Error);
    }
    std::error_code ec;
    std::filesystem::remove(Backup(paths, "vdb"), ec);
    std::filesystem::remove(Backup(paths, "vdt"), ec);
    return written;
}

}  // namespace qx::app
