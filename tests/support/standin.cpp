#include "standin.h"

#include "transcripts.h"

#include <QFile>

namespace StandIn {

bool install(const QString &path, const QByteArray &flashScript, const QByteArray &listScript)
{
    const QByteArray list =
        listScript.isNull() ? "cat '" + QFile::encodeName(Transcripts::path("list-one")) + "'"
                            : listScript;
    QFile file(path);
    QFile::remove(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write("#!/bin/sh\nif [ \"$1\" = -l ]; then\n" + list + "\nelse\n" + flashScript +
                      "\nfi\n") > 0 &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
}

} // namespace StandIn
