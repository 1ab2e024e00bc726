#pragma once

#include <QProcess>
#include <QString>

// Plain-language texts for a dfu-util process that failed as a process
// (did not start, crashed, ...), as opposed to one that exited with an error.
namespace ProcessErrorText {

// "Process failed to start", "Process crashed", ...
QString kindText(QProcess::ProcessError error);
// An explanation chosen by keywords of the tool's collected output.
QString explain(QProcess::ProcessError error, const QString &output);

} // namespace ProcessErrorText
