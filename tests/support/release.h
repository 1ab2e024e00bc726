#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class LoopbackServer;

// What a bucket serves for a release, and what a test looks at afterwards.
namespace Release {

inline const QString kManifestPath = QStringLiteral("/manifest.json");
inline const QString kFirmwarePath = QStringLiteral("/Ravlo_1_2_210226.bin");

// A manifest whose product "Ravlo" has the given version and digest.
QByteArray manifestJson(const QString &appVersion, const QString &address,
                        const QString &firmwareVersion, const QString &sha256);
QString sha256Hex(const QByteArray &data);
// A manifest of this program's version naming firmware "1.2" with the
// image's digest (or the given one), and the image.
void serve(LoopbackServer &bucket, const QByteArray &image, const QString &digest = QString());
// The image files in a temporary directory.
QStringList imageFiles(const QString &directory);
// Processes started by this process and not yet reaped.
QStringList childProcesses();

} // namespace Release
