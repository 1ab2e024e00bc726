#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

class LoopbackServer;

// A release as the maker's bucket serves it.
namespace Release {
inline const QString kManifestPath = QStringLiteral("/manifest.json");
inline const QString kSignaturePath = QStringLiteral("/manifest.json.minisig");
inline const QString kFirmwarePath = QStringLiteral("/Ravlo_1_2_210226.bin");
inline const QString kPicturePath = QStringLiteral("/product.jpg");
inline const QString kPicture2Path = QStringLiteral("/product2.jpg");
// A manifest whose product "Ravlo" has the given version and digest.
QByteArray manifestJson(const QString &appVersion, const QString &address,
                        const QString &firmwareVersion, const QString &sha256);
QString sha256Hex(const QByteArray &data);
// The trusted comment the maker signs a manifest with:
// "sequence:<n> expires:<YYYY-MM-DDTHH:MM:SSZ>".
QByteArray trustedComment(qint64 sequence, const QDateTime &expires);
// A manifest naming firmware "1.2" with the image's digest, and the image.
void serve(LoopbackServer &bucket, const QByteArray &image);
} // namespace Release
