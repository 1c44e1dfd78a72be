#include "gui/gui_main.h"

#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string_view>

#include <QApplication>
#include <QFont>

#include "app/app_state.h"
#include "gui/main_window.h"
#include "runtime/system_paths.h"

namespace qx::gui {

void PrepareApplication() {
    // The browser engine refuses to run as root with its sandbox on.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void UseProgramFont() {
    // The program's controls use 宋体 at 9 points; where it is missing, a CJK
    // font of the system stands in so Chinese captions never show as boxes.
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC")});
    font.setPointSize(9);
    QApplication::setFont(font);
}

int RunGui(int argc, char** argv) {
    // qxebook [gui] [--home DIR] [BOOK.txt]
    std::optional<std::filesystem::path> home;
    QString book;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg(argv[i]);
        if (arg == "--home" && i + 1 < argc) {
            home = argv[++i];
        } else if (!(i == 1 && arg == "gui")) {
            book = QString::fromLocal8Bit(argv[i]);
        }
    }
    PrepareApplication();
    QApplication application(argc, argv);
    UseProgramFont();
    app::AppState state;
    MainWindow window(state);
    const app::ProgramPaths paths = app::PathsOf(runtime::LocateProgramHome(home), runtime::DocumentsDirectory(),
                                                 runtime::TemporaryDirectory());
    if (!window.StartUp(paths)) return 0;  // the user declined to restore a missing parameter table
    window.show();
    if (!book.isEmpty()) window.ChooseInput(book);
    return application.exec();
}

}  // namespace qx::gui
