#include "release.h"

#include "loopbackserver.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace Release {

QByteArray manifestJson(const QString &appVersion, const QString &address,
                        const QString &firmwareVersion, const QString &sha256)
{
    const QJsonObject product{
        {"version", firmwareVersion}, {"sha256", sha256}, {"filename", "Ravlo_1_2_210226.bin"}};
    const QJsonObject manifest{{"appVersion", appVersion},
                               {"address", address},
                               {"products", QJsonObject{{"Ravlo", product}}}};
    return QJsonDocument(manifest).toJson();
}

QString sha256Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

void serve(LoopbackServer &bucket, const QByteArray &image, const QString &digest)
{
    bucket.serve(
        kManifestPath,
        LoopbackReply::ok(manifestJson(QStringLiteral("V1.0.0"), QString(), QStringLiteral("1.2"),
                                       digest.isNull() ? sha256Hex(image) : digest),
                          "application/json"));
    bucket.serve(kFirmwarePath, LoopbackReply::ok(image));
}

QStringList imageFiles(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral("Ravlo_firmware_*.bin")}, QDir::Files);
}

QStringList childProcesses()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QStringList names;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const int open = line.indexOf('(');
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open > 0 && fields.size() > 1 && fields[1] == self)
            names << QString::fromLocal8Bit(line.mid(open + 1, close - open - 1));
    }
    return names;
}

} // namespace Release
