// MainWindow: before an upgrade, make sure the tool is there and a device with
// the target identity is attached in DFU mode ("dfu-util -l").

#include "mainwindow.h"

#include "dfu/dfulisting.h"
#include "log/logger.h"

#include <QDebug>
#include <QSet>

namespace {
constexpr int kScanTimeoutMs = 5000;
}

bool MainWindow::checkUpgradePreconditions()
{
    if (m_isUpgrading || m_isDownloading)
        resetUpgradeState();
    return checkDfuUtilAvailable() && scanDfuDevices();
}

bool MainWindow::scanDfuDevices()
{
    qDebug().noquote() << QStringLiteral("扫描 DFU 设备...");

    // A process of its own: the flashing process is never used for the scan.
    QProcess process;
    process.start(getDfuUtilPath(), {QStringLiteral("-l")});
    if (!process.waitForFinished(kScanTimeoutMs)) {
        // Also reached when the tool could not be started at all.
        process.kill();
        process.waitForFinished();
        m_logger->error(QStringLiteral("Scanning device timeout"));
        return false;
    }

    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    if (!errors.isEmpty()) {
        m_logger->error(QStringLiteral("Device scanning error: ") + errors);
        return false;
    }
    if (!output.isEmpty())
        return parseDeviceList(output);
    m_logger->error(QStringLiteral(
        "The device did not connect successfully, please connect the device to the PC"));
    return false;
}

bool MainWindow::parseDeviceList(const QString &listing)
{
    const QStringList lines = listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    m_targetDeviceFound = false;
    m_targetVidPid.clear();

    // dfu-util prints one line per alt setting, so one device shows up
    // several times; its key (serial, else VID:PID) counts it once.
    QSet<QString> seenKeys;
    int deviceCount = 0;
    for (const QString &line : lines) {
        if (!line.contains(QLatin1String("Found DFU:")))
            continue;
        const QString key = deviceKey(line);
        if (key.isEmpty() || seenKeys.contains(key))
            continue;
        seenKeys.insert(key);
        logDeviceInfo(line, ++deviceCount);
    }
    return evaluateScanResult(deviceCount);
}

QString MainWindow::extractVidPid(const QString &line) const
{
    return DfuListing::extractVidPid(line);
}

QString MainWindow::extractSerial(const QString &line) const
{
    return DfuListing::extractSerial(line);
}

QString MainWindow::deviceKey(const QString &line) const
{
    return DfuListing::deviceKey(line);
}

bool MainWindow::isTargetDevice(const QString &vidPid) const
{
    return DfuListing::isTargetDevice(vidPid);
}

void MainWindow::logDeviceInfo(const QString &line, int index)
{
    const QString vidPid = extractVidPid(line);
    const QString serial = extractSerial(line);
    const QString unknown = QStringLiteral("未知");
    qDebug().noquote() << QStringLiteral("设备 %1 - VID:PID: %2, 序列号: %3")
                              .arg(index)
                              .arg(vidPid.isEmpty() ? unknown : vidPid,
                                   serial.isEmpty() ? unknown : serial);
    if (isTargetDevice(vidPid)) {
        m_targetDeviceFound = true;
        m_targetVidPid = vidPid;
    }
}

bool MainWindow::evaluateScanResult(int deviceCount)
{
    if (deviceCount < 1) {
        m_logger->error(
            QStringLiteral("The device did not connect successfully, please connect the device"));
        return false;
    }
    qDebug().noquote() << QStringLiteral("发现 %1 个设备").arg(deviceCount);
    if (m_targetDeviceFound) {
        qDebug().noquote() << QStringLiteral("检测到目标设备，VID:PID: %1").arg(m_targetVidPid);
        return true;
    }
    qDebug().noquote() << QStringLiteral("未发现目标设备，请连接目标设备并进入 DFU 模式");
    // Devices are attached, just not ours: tell the user why nothing starts.
    m_logger->error(QStringLiteral("No Ravlo device detected"));
    return false;
}
