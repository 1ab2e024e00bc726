#include "flashcommand.h"

#include "dfuscan.h"

namespace FlashCommand {

QStringList arguments(const QString &usbPath, const QString &imagePath)
{
    // "-d VID:PID" alone only names the run-time identity: dfu-util would then
    // flash a DFU-mode device of any identity. Naming the identity for both
    // modes rules that out, and the path names the one device the scan saw,
    // so a second board never meets the tool's "more than one device".
    QStringList arguments = {QStringLiteral("-d"), kRavloVidPid + QLatin1Char(',') + kRavloVidPid};
    if (!usbPath.isEmpty())
        arguments << QStringLiteral("-p") << usbPath;
    arguments << QStringLiteral("-a") << QStringLiteral("0") << QStringLiteral("-s")
              << QStringLiteral("0x08000000:force:leave") << QStringLiteral("-D") << imagePath;
    return arguments;
}

} // namespace FlashCommand
