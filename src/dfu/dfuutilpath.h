#pragma once

#include <QString>

// The one place that knows where the program expects dfu-util: beside its own
// executable, in the directory the build copies the tool to.
QString dfuUtilPath();
