#pragma once

// The program itself: the controller with its tray icon and its windows, until Quit or a
// signal ends it in order. Needs the QApplication to exist.
namespace TrayProgram {
int run();
}
