#include "demorelease.h"

#include "dfusimscenario.h"
#include "loopbackserver.h"
#include "minisigner.h"
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

// A manifest naming the firmware and its image's digest, signed with the
// demo key; tampered: naming the digest of other bytes than signed. Dropped:
// every other connection for the image ends at its half.
void serveRelease(LoopbackServer &bucket, const QString &version, const QByteArray &firmware,
                  qint64 sequence, const QDateTime &expires, bool tampered, bool dropped)
{
    static const MinisignSigner signer =
        MinisignSigner::fromSecretKeyFile(QStringLiteral(RAVLO_DEMO_KEY_FILE));
    const auto manifest = [&](const QByteArray &digestOf) {
        return Release::manifestJson(QStringLiteral(RAVLO_APPLICATION_VERSION), QString(), version,
                                     Release::sha256Hex(digestOf));
    };
    const QByteArray genuine = manifest(firmware);
    bucket.serve(
        Release::kManifestPath,
        LoopbackReply::ok(tampered ? manifest(firmware + '!') : genuine, "application/json"));
    bucket.serve(Release::kSignaturePath,
                 LoopbackReply::ok(signer.sign(genuine, Release::trustedComment(sequence, expires)),
                                   "text/plain"));
    // As object storage serves it: ranges, held to the file's ETag.
    const LoopbackReply image = LoopbackReply::ok(firmware).ranges(
        "ETag", '"' + Release::sha256Hex(firmware).left(16).toLatin1() + '"');
    bucket.serveInTurn(
        Release::kFirmwarePath,
        dropped ? QList<LoopbackReply>{LoopbackReply(image).dropAfter(firmware.size() / 2), image}
                : QList<LoopbackReply>{image});
}

} // namespace

namespace DemoRelease {

QByteArray image()
{
    return DfuSim::image(256 * 1024, 20210226);
}

void serve(LoopbackServer &bucket, Fault fault)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    serveRelease(bucket, "1.2", image(), 2, now.addDays(fault == Fault::Expired ? -1 : 30),
                 fault == Fault::Tampered, fault == Fault::Dropped);
    if (fault == Fault::Replayed) {
        // Once the program has seen this release, the bucket goes back to an
        // older one that was signed before it.
        const QByteArray older = DfuSim::image(256 * 1024, 20201111);
        QObject::connect(&bucket, &LoopbackServer::requestReceived, &bucket,
                         [&bucket, older, now](const QString &path) {
                             if (path == Release::kSignaturePath)
                                 serveRelease(bucket, "1.1", older, 1, now.addDays(20), false,
                                              false);
                         });
    }
    bucket.serve(Release::kPicturePath,
                 LoopbackReply::ok(demoPicture(QStringLiteral(":/picture/Q70.jpg")), "image/jpeg"));
    bucket.serve(Release::kPicture2Path,
                 LoopbackReply::ok(demoPicture(QStringLiteral(":/picture/Q75.jpg")), "image/jpeg"));
}

} // namespace DemoRelease
