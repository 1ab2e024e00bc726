#include "transcripts.h"

#include <QDir>
#include <QFile>

namespace Transcripts {

QString directory()
{
    return QStringLiteral(RAVLO_TRANSCRIPTS_DIR);
}

QString path(const QString &name)
{
    return QDir(directory()).filePath(name + QStringLiteral(".txt"));
}

QByteArray read(const QString &name)
{
    QFile file(path(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int exitCode(const QString &name)
{
    QFile index(QDir(directory()).filePath(QStringLiteral("index.txt")));
    if (!index.open(QIODevice::ReadOnly))
        return -1;
    // Each line: name, exit code, dfu-util's arguments.
    for (const QByteArray &line : index.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() >= 2 && fields[0] == name.toUtf8())
            return fields[1].toInt();
    }
    return -1;
}

} // namespace Transcripts
