#include "flashcommand.h"

#include "dfuscan.h"

namespace FlashCommand {

namespace {

const QString kFlashStart = QStringLiteral("0x08000000");

// The device and its flash, and what to do there.
QStringList arguments(const QString &usbPath, const QString &dfuseOptions)
{
    // "-d VID:PID" alone only names the run-time identity: dfu-util would then
    // flash a DFU-mode device of any identity. Naming the identity for both
    // modes rules that out, and the path names the one device the scan saw,
    // so a second board never meets the tool's "more than one device".
    QStringList arguments = {QStringLiteral("-d"), kRavloVidPid + QLatin1Char(',') + kRavloVidPid};
    if (!usbPath.isEmpty())
        arguments << QStringLiteral("-p") << usbPath;
    arguments << QStringLiteral("-a") << QStringLiteral("0") << QStringLiteral("-s")
              << kFlashStart + QLatin1Char(':') + dfuseOptions;
    return arguments;
}

} // namespace

QStringList write(const QString &usbPath, const QString &imagePath)
{
    return arguments(usbPath, QStringLiteral("force")) << QStringLiteral("-D") << imagePath;
}

QStringList readBack(const QString &usbPath, qint64 length, const QString &filePath)
{
    return arguments(usbPath, QString::number(length)) << QStringLiteral("-U") << filePath;
}

QStringList leave(const QString &usbPath)
{
    return arguments(usbPath, QStringLiteral("leave"));
}

} // namespace FlashCommand
