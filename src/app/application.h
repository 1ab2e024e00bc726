#pragma once

class QApplication;

// What main() does to the application before the first window exists:
// registers the compiled-in resources, sets the program's version and applies
// the style sheet. Tests call it too, so windows under test look and behave
// as the shipped program's.
void setupApplication(QApplication &app);

// "V1.0.0"; read back everywhere through QCoreApplication::applicationVersion().
extern const char *const kApplicationVersion;
