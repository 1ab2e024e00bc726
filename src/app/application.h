#pragma once

class QApplication;
class QWidget;

// What main() does before the application object exists: the windows and
// dialogs scale as one with the desktop's scale (125 %, 150 %, 200 % ...),
// sizes stay in logical pixels, and pictures are drawn from their @2x
// versions where the screen needs them; and, as nothing of the program draws
// with OpenGL, Qt on X11 does not load its OpenGL integration at the first
// window (with Mesa's software rasterizer that alone took half the time to
// the window's first frame).
void prepareApplication();

// What main() does to the application before the first window exists:
// registers the compiled-in resources, installs the translations of the
// system's language (installTranslations), sets the program's version ("V1.0.0",
// from the project's version; read back everywhere through
// QCoreApplication::applicationVersion()), sends every request through the
// system's proxy (RequestPolicy::useSystemProxy) and applies the style sheet. Tests
// call it too, so windows under test look and behave as the shipped program's.
void setupApplication(QApplication &app);

// What ends the program from outside takes the road of closing the window:
// logging out or shutting down (SIGTERM, SIGHUP) and Ctrl-C at a terminal
// close it, the event loop returns, and the window's teardown stops the run
// within the close grace and removes its files. For as long as the window lives.
void closeOnInterrupt(QWidget &window);
