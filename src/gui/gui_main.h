#pragma once

namespace qx::gui {

// Opens the main window and runs until it is closed; returns the exit code.
int RunGui(int argc, char** argv);

// Font and WebEngine settings every QApplication of the program needs; call
// before the QApplication is made.
void PrepareApplication();
void UseProgramFont();

}  // namespace qx::gui
