#include "processerror.h"

namespace ProcessErrorText {

QString kindText(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return QStringLiteral("Process failed to start");
    case QProcess::Crashed:
        return QStringLiteral("Process crashed");
    case QProcess::Timedout:
        return QStringLiteral("Process timeout");
    case QProcess::ReadError:
        return QStringLiteral("Read error");
    case QProcess::WriteError:
        return QStringLiteral("Write error");
    default:
        return QStringLiteral("Unknown error");
    }
}

} // namespace ProcessErrorText
