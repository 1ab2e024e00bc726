#include "demorelease.h"

#include "dfusimscenario.h"
#include "loopbackserver.h"
#include "ravlo_config.h"
#include "release.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

namespace {

// A built-in product picture with a "DEMO" badge in its empty top left
// corner, so that the window visibly shows what it downloaded. Needs a
// QGuiApplication.
QByteArray demoPicture(const QString &resource)
{
    QImage picture(resource);
    QPainter painter(&picture);
    const QRect badge(picture.width() / 30, picture.height() / 30, picture.width() * 26 / 100,
                      picture.height() / 9);
    painter.fillRect(badge, QColor(200, 30, 30));
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(badge.height() * 3 / 5);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, QStringLiteral("DEMO"));
    painter.end();
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG");
    return jpeg;
}

} // namespace

namespace DemoRelease {

QByteArray image()
{
    return DfuSim::image(256 * 1024, 20210226);
}

void serve(LoopbackServer &bucket)
{
    const QByteArray firmware = image();
    bucket.serve(Release::kManifestPath,
                 LoopbackReply::ok(Release::manifestJson(QStringLiteral(RAVLO_APPLICATION_VERSION),
                                                         QString(), QStringLiteral("1.2"),
                                                         Release::sha256Hex(firmware)),
                                   "application/json"));
    bucket.serve(Release::kFirmwarePath, LoopbackReply::ok(firmware));
    bucket.serve(Release::kPicturePath,
                 LoopbackReply::ok(demoPicture(QStringLiteral(":/picture/Q70.jpg")), "image/jpeg"));
    bucket.serve(Release::kPicture2Path,
                 LoopbackReply::ok(demoPicture(QStringLiteral(":/picture/Q75.jpg")), "image/jpeg"));
}

} // namespace DemoRelease
