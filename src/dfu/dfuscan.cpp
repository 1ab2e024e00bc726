#include "dfuscan.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>
#include <optional>

namespace {

QString field(const QString &line, const QString &name)
{
    // name="quoted value" or name=bare-value
    const QRegularExpression expression(name + QStringLiteral("=(?:\"([^\"]*)\"|([^\\s,\\]]*))"));
    const QRegularExpressionMatch match = expression.match(line);
    if (!match.hasMatch())
        return QString();
    return match.capturedStart(1) >= 0 ? match.captured(1) : match.captured(2);
}

std::optional<DfuDevice> readLine(const QString &line)
{
    static const QRegularExpression found(
        QStringLiteral("^Found (DFU|Runtime): \\[([0-9a-fA-F]{4}:[0-9a-fA-F]{4})\\]"));
    const QRegularExpressionMatch match = found.match(line.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    DfuDevice device;
    device.dfuMode = match.captured(1) == QLatin1String("DFU");
    device.vidPid = match.captured(2);
    device.path = field(line, QStringLiteral("path"));
    device.serial = field(line, QStringLiteral("serial"));
    bool numeric = false;
    const int devnum = field(line, QStringLiteral("devnum")).toInt(&numeric);
    device.devnum = numeric ? devnum : -1;
    if (field(line, QStringLiteral("alt")) == QLatin1String("0"))
        device.flashLayout = field(line, QStringLiteral("name"));
    return device;
}

qint64 unitBytes(const QString &unit)
{
    if (unit == QLatin1String("K"))
        return 1024;
    if (unit == QLatin1String("M"))
        return 1024 * 1024;
    return 1;
}

} // namespace

bool DfuDevice::isRavlo() const
{
    return dfuMode && vidPid == kRavloVidPid;
}

qint64 DfuDevice::flashSize() const
{
    // "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg": the sector
    // list after the first address, up to the next region.
    const QStringList parts = flashLayout.split(QLatin1Char('/'));
    if (parts.size() < 3)
        return 0;
    static const QRegularExpression sectors(QStringLiteral("^(\\d{1,4})\\*(\\d{1,7})\\s*([KMB]?)"));
    qint64 total = 0;
    for (const QString &group : parts.at(2).split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = sectors.match(group.trimmed());
        if (!match.hasMatch())
            return 0;
        total += match.captured(1).toLongLong() * match.captured(2).toLongLong() *
                 unitBytes(match.captured(3));
    }
    return total;
}

bool DeviceSelection::admits(const DfuDevice &device) const
{
    return device.isRavlo() && (serial.isEmpty() || device.serial == serial) &&
           (usbPath.isEmpty() || device.path == usbPath);
}

QString DfuDevice::key() const
{
    return path.isEmpty() ? QStringLiteral("devnum=%1").arg(devnum) : path;
}

DfuScan DfuScan::parse(const QString &listing, const QString &errors)
{
    DfuScan scan;
    scan.listing = listing;
    scan.errors = errors;
    for (const QString &line : listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const std::optional<DfuDevice> entry = readLine(line);
        if (!entry)
            continue;
        auto known = std::find_if(scan.devices.begin(), scan.devices.end(),
                                  [&entry](const DfuDevice &d) { return d.key() == entry->key(); });
        if (known == scan.devices.end()) {
            scan.devices.append(*entry);
        } else if (known->flashLayout.isEmpty()) {
            known->flashLayout = entry->flashLayout;
        }
    }
    for (const QString &line : errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString text = line.trimmed();
        if (text.isEmpty() || readLine(text))
            continue;
        (text.contains(kRavloVidPid) ? scan.ravloProblems : scan.otherMessages).append(text);
    }
    return scan;
}

QList<DfuDevice> DfuScan::candidates(const DeviceSelection &selection) const
{
    QList<DfuDevice> admitted;
    std::copy_if(devices.begin(), devices.end(), std::back_inserter(admitted),
                 [&selection](const DfuDevice &device) { return selection.admits(device); });
    return admitted;
}

int DfuScan::devnumIn(const QString &message)
{
    static const QRegularExpression devnum(QStringLiteral("\\bdevnum[ =](\\d+)"));
    const QRegularExpressionMatch match = devnum.match(message);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}
