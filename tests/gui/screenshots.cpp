// Saves a picture of each page of the main window, and of page "排版" with a
// book loaded, for a person to look at: qx_screenshots OUT_DIR [BOOK.txt].
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <filesystem>

#include "gui/gui_main.h"
#include "app/parameter_store.h"
#include "gui/main_window.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: qx_screenshots OUT_DIR [BOOK.txt]\n");
        return 2;
    }
    qx::gui::PrepareApplication();
    QApplication application(argc, argv);
    qx::gui::UseProgramFont();
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);

    // A program home of its own with the built-in table and template, as a
    // first start finds it.
    const QString home = QDir(out).filePath(QStringLiteral("home"));
    QDir(home).removeRecursively();
    QDir().mkpath(home);
    std::filesystem::copy(std::filesystem::path(QX_SOURCE_DIR) / "data" / "template",
                          std::filesystem::path(home.toStdString()) / "template",
                          std::filesystem::copy_options::recursive);
    qx::app::WriteDefaultTables(home.toStdString());

    qx::app::AppState state;
    qx::gui::MainWindow window(state);
    const qx::app::ProgramPaths paths{home.toStdString(), QDir::homePath().toStdString() + "/Documents",
                                      QDir::tempPath().toStdString()};
    if (!window.StartUp(paths)) return 1;
    window.show();

    int saved = 0;
    auto grab = [&](const QString& name) {
        QApplication::processEvents();
        if (window.grab().save(QDir(out).filePath(name))) ++saved;
    };
    const char* names[] = {"1-file.png", "2-layout.png", "3-output.png", "4-settings.png"};
    for (int page = 0; page < 4; ++page) {
        window.选择夹_制作流程->setCurrentIndex(page);
        grab(QString::fromUtf8(names[page]));
    }
    window.选择夹_制作流程->setCurrentIndex(0);
    window.close();  // the settings file of this home, not the user's
    if (argc > 2) {
        const QString book = QString::fromLocal8Bit(argv[2]);
        window.选择夹_制作流程->setCurrentIndex(0);
        window.FileDialog()->chooser = [book](const qx::gui::CommonDialog&) { return std::optional<QString>(book); };
        window.按钮_浏览1->click();
        grab(QStringLiteral("5-file-chosen.png"));
        window.按钮_下一步1->click();
        if (auto* top = window.树型框_索引目录->topLevelItem(0)) top->setExpanded(true);
        grab(QStringLiteral("6-layout-loaded.png"));
    }
    std::printf("saved %d pictures in %s\n", saved, argv[1]);
    return saved > 0 ? 0 : 1;
}
