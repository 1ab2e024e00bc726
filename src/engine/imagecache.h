#pragma once

#include "engine/cachefolder.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Verified firmware images kept for the next run, in the cache folder under
// their SHA-256 ("<64 hex digits>.bin", at most the two newest), beside the
// update information that last named one (manifest.json and, signed,
// manifest.json.minisig), so that it can be checked again without the
// network. Only a digest names a file there, never a name from the network.
class ImageCache
{
    Q_DECLARE_TR_FUNCTIONS(ImageCache)
public:
    static constexpr int kImages = 2;

    explicit ImageCache(const QString &folder = CacheFolder::path());

    // The kept image with this digest, hashed again now; a kept file that no
    // longer has it is removed. Empty when there is none.
    QString take(const QString &sha256);
    // Keeps a copy of an image verified against this digest; false when it
    // could not be kept.
    bool keepImage(const QString &image, const QString &sha256);
    // Keeps the update information that named a kept image, as it arrived.
    bool keepManifest(const QByteArray &document, const QByteArray &signatureFile);

    struct Release
    {
        QString image;
        QString sha256;
        QString problem; // for the user, when there is no image
    };
    // The kept image the kept update information names, that information held
    // to the keys (signature, expiry, sequence) as a downloaded one is.
    Release release(const QStringList &trustedKeys);

private:
    QString imagePath(const QString &sha256) const;
    QString manifestPath() const;
    // All but the newest kImages images go.
    void prune();

    const QString m_folder;
};
