#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A script for the scripted stand-in for dfu-util (tests/standin/standin.cpp
// describes the format), built command by command:
//
//   StandInScript().out("Opening DFU capable USB device...\n").sleep(50)
//       .err("dfu-util: Error during download\n").exit(74).save(path);
class StandInScript
{
public:
    StandInScript &out(const QByteArray &text);
    StandInScript &err(const QByteArray &text);
    // The file's bytes on standard output, chunkBytes at a time, delayMs apart.
    StandInScript &replay(const QString &path, int chunkBytes, int delayMs);
    StandInScript &sleep(int milliseconds);
    // Writes the working directory and the arguments to path (see StandIn::readRecord).
    StandInScript &record(const QString &path);
    StandInScript &exit(int code);
    // Dies by the named signal: "SEGV", "ABRT", "BUS", "FPE", "ILL", "KILL" or "TERM".
    StandInScript &crash(const QByteArray &signalName);
    StandInScript &hang();

    const QByteArray &text() const { return m_text; }
    bool save(const QString &path) const;

private:
    StandInScript &add(const QByteArray &command, const QByteArray &argument);

    QByteArray m_text;
};

namespace StandIn {

QString executable();
// Puts the stand-in where the code under test looks for dfu-util.
bool install();

// Which script the stand-in runs, for a child of this process or of one
// QProcess.
void useScript(const QString &scriptPath);
void useScript(QProcessEnvironment &environment, const QString &scriptPath);
// The script for "dfu-util -l" only (the device scan), for children of this
// process; other invocations keep running the script of useScript.
void useListScript(const QString &scriptPath);
// Clears both scripts.
void clearScript();

struct Record
{
    bool valid = false;
    QString workingDirectory;
    QStringList arguments;
};
Record readRecord(const QString &path);

} // namespace StandIn
