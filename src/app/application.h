#pragma once

class QApplication;

// What main() does before the application object exists: the windows and
// dialogs scale as one with the desktop's scale (125 %, 150 %, 200 % ...),
// sizes stay in logical pixels, and pictures are drawn from their @2x
// versions where the screen needs them.
void enableHighDpiScaling();

// What main() does to the application before the first window exists:
// registers the compiled-in resources, installs the translations of the
// system's language (installTranslations), sets the program's version ("V1.0.0",
// from the project's version; read back everywhere through
// QCoreApplication::applicationVersion()) and applies the style sheet. Tests
// call it too, so windows under test look and behave as the shipped program's.
void setupApplication(QApplication &app);
