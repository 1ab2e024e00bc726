#pragma once

#include <QString>

// The one place that knows where the program expects dfu-util: beside its own
// executable, in the directory the build copies the tool to.
QString dfuUtilPath();

// Why the tool at path cannot be run ("dfu-util does not exist: ...", "dfu-util
// is not executable: ..."), or empty when it can.
QString dfuUtilProblem(const QString &path);
