// MainWindow: the showcase panel - the two product pictures, refreshed from
// the bucket at start-up, and the three buttons that open the store.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "app/firstframe.h"
#include "engine/cachefolder.h"
#include "net/requestpolicy.h"

#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrl>

namespace {
const QString kBuiltInPicture1 = QStringLiteral(":/picture/Q70.jpg");
const QString kBuiltInPicture2 = QStringLiteral(":/picture/Q75.jpg");

void showPicture(QPushButton *button, const QString &picture)
{
    button->setStyleSheet(
        QStringLiteral("#%1 {  background: transparent;  border: none;  image: url(%2);}")
            .arg(button->objectName(), picture));
}

// Saves a downloaded picture; false when there is no picture to save or the
// file cannot be written.
bool savePicture(QNetworkReply *reply, const QString &cacheDir, const QString &localPath)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200)
        return false;
    const QByteArray data = reply->readAll();
    // An error page or a truncated file would leave the button blank.
    if (QImage::fromData(data).isNull())
        return false;
    QFile file(localPath);
    if (cacheDir.isEmpty() || !QDir().mkpath(cacheDir) || !file.open(QIODevice::WriteOnly))
        return false;
    const bool written = file.write(data) == data.size() && file.flush();
    file.close();
    return written;
}
} // namespace

void MainWindow::downloadProductImage()
{
    downloadPicture(m_endpoints.productImageUrl(), QStringLiteral("product.jpg"), ui->BtnPicture1,
                    kBuiltInPicture1, 1);
}

void MainWindow::downloadProductImage2()
{
    downloadPicture(m_endpoints.productImage2Url(), QStringLiteral("product2.jpg"), ui->BtnPicture2,
                    kBuiltInPicture2, 2);
}

void MainWindow::showBuiltInPicturesAfterFirstFrame()
{
    // The built-in pictures are large: decoded while the window is polished,
    // they would hold its first frame back by a third. The buttons are empty
    // until that frame is painted, then show them unless a download came first.
    FirstFrame::then(this, [this] {
        const QPair<QPushButton *, QString> pictures[] = {{ui->BtnPicture1, kBuiltInPicture1},
                                                          {ui->BtnPicture2, kBuiltInPicture2}};
        for (const auto &picture : pictures) {
            if (picture.first->styleSheet().isEmpty())
                showPicture(picture.first, picture.second);
        }
    });
}

void MainWindow::downloadPicture(const QString &url, const QString &fileName, QPushButton *button,
                                 const QString &builtInPicture, int buttonNumber)
{
    // The program's own cache folder: a working directory such as the home
    // folder may hold the user's files of these names.
    const QString cacheDir = CacheFolder::path();
    const QString localPath = cacheDir + QLatin1Char('/') + fileName;
    QNetworkReply *reply = m_networkManager->get(RequestPolicy::request(
        RequestPolicy::Kind::Picture, QUrl(url), m_engine->limits().transferMs));
    connect(reply, &QNetworkReply::finished, this, [=] {
        if (savePicture(reply, cacheDir, localPath)) {
            showPicture(button, QString(localPath).replace(QLatin1Char('\\'), QLatin1Char('/')));
            qDebug().noquote() << QStringLiteral("按钮%1背景图片已设置").arg(buttonNumber);
        } else {
            showPicture(button, builtInPicture);
            qDebug().noquote() << QStringLiteral("按钮%1背景图片已设置默认").arg(buttonNumber);
        }
        reply->deleteLater();
    });
    qDebug().noquote() << QStringLiteral("开始下载图片...");
}

void MainWindow::setupToolButtonLink()
{
    if (m_websiteUrl.isEmpty())
        m_websiteUrl = m_endpoints.storeUrl;
    if (!ui->toolButton) {
        qDebug().noquote() << QStringLiteral("错误: toolButton对象不存在");
        return;
    }
    // Replaced, not added: the link is set up again when the manifest arrives.
    disconnect(ui->toolButton, &QToolButton::clicked, nullptr, nullptr);
    connect(ui->toolButton, &QToolButton::clicked, this, &MainWindow::openWebsite);
    ui->toolButton->setToolTip(tr("Click to visit: %1").arg(m_websiteUrl));
    ui->toolButton->setCursor(Qt::PointingHandCursor);
    qDebug().noquote() << QStringLiteral("toolButton链接已设置:") << m_websiteUrl;
}

void MainWindow::setupBtnPictureLink()
{
    if (!ui->BtnPicture2 || !ui->BtnPicture1) {
        qDebug().noquote() << QStringLiteral("错误: BtnPicture按钮不存在");
        return;
    }
    for (QPushButton *button : {ui->BtnPicture1, ui->BtnPicture2}) {
        disconnect(button, &QPushButton::clicked, nullptr, nullptr);
        connect(button, &QPushButton::clicked, this, &MainWindow::openWebsite);
        button->setCursor(Qt::PointingHandCursor);
    }
    qDebug().noquote() << QStringLiteral("BtnPicture链接已设置:") << m_websiteUrl;
}

void MainWindow::openWebsite()
{
    // Read at the click: the manifest may have changed the address since the
    // button was connected.
    QDesktopServices::openUrl(QUrl(m_websiteUrl));
    qDebug().noquote() << QStringLiteral("打开网站:") << m_websiteUrl;
}
