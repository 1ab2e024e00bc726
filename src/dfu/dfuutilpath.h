#pragma once

#include <QString>

// The one place that knows where the program expects dfu-util: beside its own
// executable, in the directory the build copies the tool to.
QString dfuUtilPath();

// Why the tool at path cannot be run ("dfu-util does not exist: ...", "dfu-util
// is not executable: ..."), or empty when it can.
QString dfuUtilProblem(const QString &path);

// The path for people to read: with " -> <target>" when it is a link, as the
// installed program's is (it leads to the system's dfu-util).
QString dfuUtilShownPath(const QString &path);
