// What closing the window does to the settings, without a window: the
// closing steps (app::CloseDown) on a program home, with settings that a test
// can tell apart by a tag, saved `count` times in a row so that a process
// killed at a random moment is most likely killed in the middle of a save.
//
// usage: qx_close_driver HOME TAG[,OTHER] [COUNT]
// The saved settings carry TAG in the Output directory and, repeated, in the
// packer path (so the file is large enough for a save to take a while); with
// two tags the saves alternate, so every save replaces other content.
// Exit code 0 when every save went through; 1, with the program's message on
// stderr, when one failed.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/settings.h"
#include "app/startup.h"
#include "runtime/encoding.h"

namespace {

using namespace qx;

class PrintingUi : public runtime::Ui {
public:
    void Status(std::string_view text, bool) override { Print("", text); }
    runtime::Answer Ask(std::string_view text, runtime::Buttons, runtime::Icon, std::string_view) override {
        Print("question: ", text);
        return runtime::Answer::No;
    }
    void Message(std::string_view text, runtime::Icon icon) override {
        Print(icon == runtime::Icon::Error ? "error: " : "", text);
    }

private:
    static void Print(const char* kind, std::string_view gbk) {
        std::cerr << "qx_close_driver: " << kind << runtime::GbkToUtf8(gbk) << "\n";
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: qx_close_driver HOME TAG[,OTHER] [COUNT]\n";
        return 2;
    }
    const std::filesystem::path home = argv[1];
    std::vector<std::string> tags;
    std::stringstream given(argv[2]);
    for (std::string tag; std::getline(given, tag, ',');)
        tags.push_back(tag);
    if (tags.empty())
        tags.push_back("");
    const int count = argc == 4 ? std::atoi(argv[3]) : 1;

    const app::ProgramPaths paths{home, home / "documents", home / "temporary"};
    const app::Settings read = app::ReadSettings(app::SettingsPath(home), paths.documents);
    PrintingUi ui;
    for (int i = 0; i < count; ++i) {
        const std::string& tag = tags[static_cast<std::size_t>(i) % tags.size()];
        app::Settings settings = read;
        settings.outputDirectory = "/books/" + tag;
        settings.instantPreview = tag.size() % 2 == 0;
        std::string filler;
        for (int k = 0; k < 4000; ++k)
            filler += tag + "/";
        app::AppState state;
        state.inputDirectory = "/input/" + tag;
        state.packerPath = "/packer/" + filler;
        if (!app::CloseDown(state, paths, settings, &ui))
            return 1;
    }
    return 0;
}
