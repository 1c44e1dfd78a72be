#include "gui/gui_main.h"

#include <unistd.h>

#include <QApplication>
#include <QFont>

#include "app/app_state.h"
#include "gui/main_window.h"

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
    PrepareApplication();
    QApplication application(argc, argv);
    UseProgramFont();
    app::AppState state;
    MainWindow window(state);
    window.show();
    return application.exec();
}

}  // namespace qx::gui
