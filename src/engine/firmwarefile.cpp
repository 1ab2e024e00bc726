#include "firmwarefile.h"

namespace FirmwareFile {

namespace {
bool isSafeFileNameChar(QChar c)
{
    return (c.unicode() < 128 && c.isLetterOrNumber()) || c == QLatin1Char('.') ||
           c == QLatin1Char('-') || c == QLatin1Char('_') || c == QLatin1Char('+');
}
} // namespace

QString fileName(const QString &version, const QDateTime &start)
{
    QString safeVersion = version;
    for (QChar &c : safeVersion) {
        if (!isSafeFileNameChar(c))
            c = QLatin1Char('_');
    }
    return QStringLiteral("Ravlo_firmware_%1_%2.bin")
        .arg(safeVersion, start.toString(QStringLiteral("yyyyMMdd_hhmmss")));
}

} // namespace FirmwareFile
