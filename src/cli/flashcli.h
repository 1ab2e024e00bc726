#pragma once

#include "engine/endpoints.h"

class QCoreApplication;

// ravlo-flash: sets the application up (language, name, the system's proxy,
// quiet diagnostics), reads its command line, runs the command with the
// endpoints the program was built with (Endpoints::production()), returns the
// exit code.
int runFlashCli(QCoreApplication &app, const Endpoints &built);
