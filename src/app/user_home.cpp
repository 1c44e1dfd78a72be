#include "app/user_home.h"

#include "app/parameter_store.h"
#include "app/settings.h"
#include "app/startup.h"

namespace qx::app {
namespace {

bool MakeFolder(const std::filesystem::path& dir, std::string& problem) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir)) {
        problem = "cannot make " + dir.string() + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    return true;
}

}  // namespace

bool PrepareUserHome(const runtime::HomeLayout& layout, const std::filesystem::path& documents,
                     std::string& problem) {
    if (!layout.perUser) return true;
    if (!MakeFolder(layout.home, problem) || !MakeFolder(layout.config, problem)) return false;
    std::error_code ec;
    if (!std::filesystem::exists(ParameterTablePath(layout.home), ec) && !WriteDefaultTables(layout.home)) {
        problem = "cannot write the parameter table in " + layout.home.string();
        return false;
    }
    const auto settings = SettingsPath(layout.config);
    if (!std::filesystem::exists(settings, ec)) {
        std::error_code error;
        if (!WriteSettings(settings, ReadSettings(settings, documents), error)) {
            problem = "cannot write " + settings.string() + ": " + error.message();
            return false;
        }
    }
    return true;
}

}  // namespace qx::app
