#pragma once

#include <QByteArray>
#include <QString>

// What the real dfu-util 0.11 printed (standard output and standard error
// merged, byte for byte) in the scenarios of scripts/capture-transcripts.sh,
// kept in tests/data/transcripts. index.txt there gives each one's exit code
// and arguments; scripts/capture-transcripts.sh makes them anew.
namespace Transcripts {

QString directory();
QString path(const QString &name);
QByteArray read(const QString &name);
// -1 for a name the index does not know.
int exitCode(const QString &name);

} // namespace Transcripts
