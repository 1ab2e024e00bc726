#include "downloadprogress.h"

#include <QCoreApplication>

namespace DownloadProgress {

int percent(qint64 received, qint64 total)
{
    // A server may send more than it announced; the bar stays in its range.
    if (total <= 0 || received <= 0)
        return 0;
    return received >= total ? 100 : int(received * 100 / total);
}

double kilobytesPerSecond(qint64 bytes, qint64 elapsedMs)
{
    return bytes * 1000.0 / (elapsedMs * 1024.0);
}

QString speedText(double kilobytesPerSecond)
{
    if (kilobytesPerSecond < 1024.0)
        return QStringLiteral("%1 KB/s").arg(kilobytesPerSecond, 0, 'f', 1);
    return QStringLiteral("%1 MB/s").arg(kilobytesPerSecond / 1024.0, 0, 'f', 1);
}

QString barText(int percent, double kilobytesPerSecond, qint64 remainingBytes)
{
    QString remaining = QCoreApplication::translate("DownloadProgress", "unknown");
    if (kilobytesPerSecond > 0) {
        const double seconds = remainingBytes / (kilobytesPerSecond * 1024.0);
        remaining = QCoreApplication::translate("DownloadProgress", "%1s", "seconds")
                        .arg(seconds, 0, 'f', 0);
    }
    return QCoreApplication::translate("DownloadProgress",
                                       "Download firmware: %1% (%2) remaining: %3")
        .arg(percent)
        .arg(speedText(kilobytesPerSecond), remaining);
}

} // namespace DownloadProgress
