#pragma once

#include <QProcess>
#include <QString>

// The names of the ways a dfu-util process can fail as a process (not
// start, crash, ...), as opposed to exiting with an error. What happened and
// what to do about it is Diagnosis::diagnose's business.
namespace ProcessErrorText {

// "Process failed to start", "Process crashed", ...
QString kindText(QProcess::ProcessError error);

} // namespace ProcessErrorText
