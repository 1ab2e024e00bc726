#pragma once

#include <QStringList>

// ravlo-flash: reads the command line, runs the command, returns the exit code.
int runFlashCli(const QStringList &arguments);
