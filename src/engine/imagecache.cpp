#include "imagecache.h"

#include "engine/sha256.h"
#include "manifest/manifest.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace {

bool save(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size() &&
           file.commit();
}

} // namespace

ImageCache::ImageCache(const QString &folder)
    : m_folder(folder)
{}

QString ImageCache::imagePath(const QString &sha256) const
{
    return Sha256::isDigest(sha256)
               ? m_folder + QLatin1Char('/') + sha256.toLower() + QStringLiteral(".bin")
               : QString();
}

QString ImageCache::manifestPath() const
{
    return m_folder + QStringLiteral("/manifest.json");
}

QString ImageCache::take(const QString &sha256)
{
    const QString path = imagePath(sha256);
    if (path.isEmpty() || !QFile::exists(path))
        return QString();
    if (Sha256::ofFile(path) != sha256.toLower()) {
        qDebug().noquote() << QStringLiteral("保留的固件已改变，删除: %1").arg(path);
        QFile::remove(path);
        return QString();
    }
    // A kept image used again counts as new: it stays among the newest.
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        file.setFileTime(QDateTime::currentDateTime(), QFileDevice::FileModificationTime);
    return path;
}

bool ImageCache::keepImage(const QString &image, const QString &sha256)
{
    const QString path = imagePath(sha256);
    if (path.isEmpty() || !QDir().mkpath(m_folder))
        return false;
    // QFile::copy writes beside the target and renames: never half a file.
    QFile::remove(path);
    if (!QFile::copy(image, path))
        return false;
    prune();
    return true;
}

bool ImageCache::keepManifest(const QByteArray &document, const QByteArray &signatureFile)
{
    const QString signature = manifestPath() + QStringLiteral(".minisig");
    if (!QDir().mkpath(m_folder) || !save(manifestPath(), document))
        return false;
    return signatureFile.isEmpty() ? !QFile::exists(signature) || QFile::remove(signature)
                                   : save(signature, signatureFile);
}

void ImageCache::prune()
{
    // Newest first; named by 64 characters, as only a digest names a file.
    const QStringList images = QDir(m_folder).entryList(
        {QString(64, QLatin1Char('?')) + QStringLiteral(".bin")}, QDir::Files, QDir::Time);
    for (const QString &name : images.mid(kImages))
        QFile::remove(QDir(m_folder).filePath(name));
}

ImageCache::Release ImageCache::release(const QStringList &trustedKeys)
{
    Release release;
    if (!QFile::exists(manifestPath())) {
        release.problem = tr("No update information is kept on this computer; run an upgrade "
                             "with the network first");
        return release;
    }
    Manifest manifest(nullptr, trustedKeys);
    QString refusal;
    QObject::connect(&manifest, &Manifest::manifestLoaded,
                     [&refusal](bool, const QString &message) { refusal = message; });
    manifest.loadFromFile(manifestPath());
    const QString digest = manifest.productSha256();
    if (!refusal.isEmpty() || !Sha256::isDigest(digest)) {
        release.problem = tr("The update information kept on this computer cannot be used (%1); "
                             "run an upgrade with the network")
                              .arg(refusal.isEmpty() ? tr("it names no SHA-256 digest for the "
                                                          "firmware image")
                                                     : refusal);
        return release;
    }
    release.image = take(digest);
    if (release.image.isEmpty())
        release.problem = tr("The firmware image the kept update information names is not kept "
                             "on this computer; run an upgrade with the network first");
    else
        release.sha256 = digest.toLower();
    return release;
}
