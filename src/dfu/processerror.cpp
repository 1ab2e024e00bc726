#include "processerror.h"

#include <QCoreApplication>

namespace ProcessErrorText {

QString kindText(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return QCoreApplication::translate("ProcessErrorText", "Process failed to start");
    case QProcess::Crashed:
        return QCoreApplication::translate("ProcessErrorText", "Process crashed");
    case QProcess::Timedout:
        return QCoreApplication::translate("ProcessErrorText", "Process timeout");
    case QProcess::ReadError:
        return QCoreApplication::translate("ProcessErrorText", "Read error");
    case QProcess::WriteError:
        return QCoreApplication::translate("ProcessErrorText", "Write error");
    default:
        return QCoreApplication::translate("ProcessErrorText", "Unknown error");
    }
}

} // namespace ProcessErrorText
