#include "flashcommand.h"

#include "dfulisting.h"

namespace FlashCommand {

QStringList arguments(const QString &vidPid, const QString &imagePath)
{
    const QString identity = vidPid.isEmpty() ? DfuListing::kTargetVidPid : vidPid;
    // "-d VID:PID" alone only names the run-time identity: dfu-util would then
    // flash a DFU-mode device of any identity, e.g. another board plugged in
    // after the scan. Naming the identity for both modes rules that out.
    return {QStringLiteral("-d"), identity + QLatin1Char(',') + identity,
            QStringLiteral("-a"), QStringLiteral("0"),
            QStringLiteral("-s"), QStringLiteral("0x08000000:force:leave"),
            QStringLiteral("-D"), imagePath};
}

} // namespace FlashCommand
