// MainWindow: fetching the firmware image into the temporary directory, with
// percentage, speed and remaining time, and checking it before the flash.

#include "mainwindow.h"

#include "app/downloadprogress.h"
#include "app/firmwarefile.h"
#include "log/logger.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTimer>

#include <utility>

namespace {
constexpr int kTransferTimeoutMs = 30000;
constexpr qint64 kSpeedIntervalMs = 1000;
} // namespace

void MainWindow::startFirmwareDownload()
{
    m_firmwareUrl = m_endpoints.firmwareUrl();
    const QDir tempDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation));
    m_firmwarePath =
        tempDir.filePath(FirmwareFile::fileName(m_firmwareVersion, QDateTime::currentDateTime()));
    qDebug().noquote() << QStringLiteral("下载固件: %1").arg(m_firmwareUrl);
    qDebug().noquote() << QStringLiteral("保存到: %1").arg(m_firmwarePath);

    setProgressText(QStringLiteral("Start downloading firmware"));
    m_isDownloading = true;
    m_lastSpeedUpdateTime = QDateTime::currentMSecsSinceEpoch();
    m_lastBytesReceived = 0;

    QNetworkRequest request{QUrl(m_firmwareUrl)};
    request.setTransferTimeout(kTransferTimeoutMs);
    m_firmwareReply = m_networkManager->get(request);
    connect(m_firmwareReply, &QNetworkReply::downloadProgress, this,
            &MainWindow::onFirmwareDownloadProgress);

    m_firmwareFile = new QFile(m_firmwarePath, this);
    if (!m_firmwareFile->open(QIODevice::WriteOnly)) {
        failFirmwareDownload(QStringLiteral("Failed to create firmware file"));
        return;
    }
    connect(m_firmwareReply, &QNetworkReply::readyRead, this, &MainWindow::writeFirmwareChunk);
}

void MainWindow::writeFirmwareChunk()
{
    // Streams the image to disk as it arrives, so it is never held in memory.
    if (!m_firmwareReply || !m_firmwareFile)
        return;
    const QByteArray data = m_firmwareReply->readAll();
    if (m_firmwareFile->write(data) != data.size())
        failFirmwareDownload(QStringLiteral("Failed to write firmware file"));
}

void MainWindow::onFirmwareDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    if (bytesTotal <= 0) {
        setProgressValue(0);
        setProgressText(QStringLiteral("Download firmware: Unknown size"));
        return;
    }
    const int percent = DownloadProgress::percent(bytesReceived, bytesTotal);
    setProgressValue(percent);

    // The text with speed and remaining time changes at most once a second.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 elapsed = now - m_lastSpeedUpdateTime;
    if (elapsed <= kSpeedIntervalMs)
        return;
    const double speed =
        DownloadProgress::kilobytesPerSecond(bytesReceived - m_lastBytesReceived, elapsed);
    setProgressText(DownloadProgress::barText(percent, speed, bytesTotal - bytesReceived));
    m_lastBytesReceived = bytesReceived;
    m_lastSpeedUpdateTime = now;
}

void MainWindow::onNetworkReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    // Only the download the workflow is waiting for may go on: a reply that was
    // aborted by a cancel or at shutdown, or left over from an earlier start,
    // must never act on the current run's file.
    if (reply != m_firmwareReply)
        return;
    m_firmwareReply = nullptr;

    if (reply->error() != QNetworkReply::NoError) {
        handleNetworkError(reply);
        return;
    }
    // Anything but 200 (an unfollowed redirect, 204, ...) did not bring the image.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        failFirmwareDownload(QStringLiteral("Unexpected server response (HTTP %1)").arg(status));
        return;
    }
    finishFirmwareDownload(reply->readAll());
}

void MainWindow::handleNetworkError(QNetworkReply *reply)
{
    const QString message = QStringLiteral("Network error: %1").arg(reply->errorString());
    m_logger->error(message);
    setProgressText(QStringLiteral("Network error"));
    closeFirmwareFile();
    if (m_isDownloading)
        handleUpgradeError(message);
}

void MainWindow::finishFirmwareDownload(const QByteArray &remainingData)
{
    m_isDownloading = false;
    const QString fileName = m_firmwareFile->fileName();
    // Each step is checked on its own: QFile forgets the error of a failed
    // write once a later flush or close succeeds, and a large direct write
    // that failed is not kept for a retry either.
    bool written =
        m_firmwareFile->write(remainingData) == remainingData.size() && m_firmwareFile->flush();
    m_firmwareFile->close();
    written = written && m_firmwareFile->error() == QFileDevice::NoError;
    delete std::exchange(m_firmwareFile, nullptr);
    if (!written) {
        failFirmwareDownload(QStringLiteral("Failed to write firmware file"));
        return;
    }
    qDebug().noquote() << QStringLiteral("固件下载完成: %1").arg(fileName);

    if (verifyFirmwareIntegrity(fileName)) {
        qDebug().noquote() << QStringLiteral("固件完整性校验通过");
        setProgressText(QStringLiteral("Firmware download completed, start burning"));
        m_burnTimer->start();
    } else {
        QFile::remove(fileName);
        handleUpgradeError(
            QStringLiteral("Firmware verification failed, please click upgrade again"));
    }
}

void MainWindow::failFirmwareDownload(const QString &message)
{
    // No usable image can come of this download: stop it and drop what was written.
    abandonFirmwareReply();
    closeFirmwareFile();
    cleanupFirmwareFile();
    handleUpgradeError(message);
}

void MainWindow::abandonFirmwareReply()
{
    QNetworkReply *reply = std::exchange(m_firmwareReply, nullptr);
    if (!reply)
        return;
    // Cut off before abort(): abort() finishes the reply on the spot, and a
    // reply failed from inside its own readyRead still reports that chunk's
    // progress afterwards; neither may touch the run that has ended.
    disconnect(reply, nullptr, this, nullptr);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}

void MainWindow::closeFirmwareFile()
{
    if (QFile *file = std::exchange(m_firmwareFile, nullptr)) {
        file->close();
        delete file;
    }
}

bool MainWindow::verifyFirmwareIntegrity(const QString &filePath)
{
    if (m_firmwareSha256.isEmpty()) {
        m_logger->warning(QStringLiteral("未提供SHA256校验值，跳过完整性校验"));
        return true;
    }
    setProgressText(QStringLiteral("Verifying firmware integrity..."));
    qDebug().noquote() << QStringLiteral("开始校验固件完整性");

    const QString actual = calculateFileSha256(filePath);
    if (actual.isEmpty()) {
        qDebug().noquote() << QStringLiteral("无法计算文件的SHA256值");
        return false;
    }
    qDebug().noquote() << QStringLiteral("计算得到的SHA256: %1").arg(actual);
    qDebug().noquote() << QStringLiteral("期望的SHA256:    %1").arg(m_firmwareSha256);
    if (actual.toLower() == m_firmwareSha256.toLower()) {
        qDebug().noquote() << QStringLiteral("✓ SHA256校验通过");
        return true;
    }
    qDebug().noquote() << QStringLiteral("SHA256校验失败！");
    qDebug().noquote() << QStringLiteral("文件可能已被篡改或下载损坏");
    qDebug().noquote() << QStringLiteral("期望: %1").arg(m_firmwareSha256);
    qDebug().noquote() << QStringLiteral("实际: %1").arg(actual);
    return false;
}

QString MainWindow::calculateFileSha256(const QString &filePath) const
{
    return FirmwareFile::sha256Hex(filePath);
}
