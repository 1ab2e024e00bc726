#include "release.h"

#include "loopbackserver.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>

namespace Release {

QByteArray manifestJson(const QString &appVersion, const QString &address,
                        const QString &firmwareVersion, const QString &sha256)
{
    const QJsonObject product{{"version", firmwareVersion}, {"sha256", sha256}};
    return QJsonDocument(QJsonObject{{"appVersion", appVersion},
                                     {"address", address},
                                     {"products", QJsonObject{{"Ravlo", product}}}})
        .toJson();
}

QString sha256Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

QByteArray trustedComment(qint64 sequence, const QDateTime &expires)
{
    return "sequence:" + QByteArray::number(sequence) +
           " expires:" + expires.toUTC().toString(Qt::ISODate).toLatin1();
}

void serve(LoopbackServer &bucket, const QByteArray &image)
{
    bucket.serve(kManifestPath,
                 LoopbackReply::ok(manifestJson("V1.0.0", QString(), "1.2", sha256Hex(image))));
    bucket.serve(kFirmwarePath, LoopbackReply::ok(image));
}

} // namespace Release
