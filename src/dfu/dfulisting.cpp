#include "dfulisting.h"

#include <QRegularExpression>

namespace DfuListing {

namespace {
QString firstCapture(const QRegularExpression &expression, const QString &line)
{
    const QRegularExpressionMatch match = expression.match(line);
    return match.hasMatch() ? match.captured(1) : QString();
}
} // namespace

QString extractVidPid(const QString &line)
{
    static const QRegularExpression vidPid(QStringLiteral("\\[([0-9a-fA-F]{4}:[0-9a-fA-F]{4})\\]"));
    return firstCapture(vidPid, line);
}

QString extractSerial(const QString &line)
{
    static const QRegularExpression serial(QStringLiteral("serial=([^\\s,\\]]+)"));
    return firstCapture(serial, line);
}

QString deviceKey(const QString &line)
{
    const QString serial = extractSerial(line);
    return serial.isEmpty() ? extractVidPid(line) : serial;
}

bool isTargetDevice(const QString &vidPid)
{
    return vidPid.contains(kTargetVidPid);
}

} // namespace DfuListing
