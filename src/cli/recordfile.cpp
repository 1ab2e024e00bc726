#include "recordfile.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const char *const kColumns[] = {"time",   "station", "path",  "serial",  "firmware",
                                "sha256", "verdict", "cause", "seconds", "program"};

QStringList values(const DeviceRecord &record)
{
    return {record.time.toUTC().toString(Qt::ISODate),
            record.station,
            record.usbPath,
            record.serial,
            record.firmwareVersion,
            record.imageSha256,
            record.verdict,
            record.cause,
            QString::number(record.seconds, 'f', 1),
            record.programVersion};
}

// A CSV field, quoted when it holds a separator, a quote or a line break. A
// field that a spreadsheet would take for a formula (a serial is the
// device's to choose) begins with an apostrophe, which keeps it text.
QString csvField(QString value)
{
    static const QString formula = QStringLiteral("=+-@\t\r");
    if (!value.isEmpty() && formula.contains(value.front()))
        value.prepend(QLatin1Char('\''));
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    value.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + value + QLatin1Char('"');
}

QByteArray csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

// Past the operating system's buffers onto the disk.
bool sync(QFile &file)
{
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

// A new file's name onto the disk too (on Windows the file's own flush takes it).
void syncFolderOf(const QString &path)
{
#ifndef Q_OS_WIN
    const int folder = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
#else
    Q_UNUSED(path)
#endif
}

// Whether the file ends in the middle of a line: a crash cut its last one short.
bool endsMidLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    char last = '\n';
    return file.seek(file.size() - 1) && file.getChar(&last) && last != '\n';
}

} // namespace

bool RecordFile::open(const QString &path, QString *why)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("jsonl")) {
        m_format = Format::JsonLines;
    } else if (suffix == QLatin1String("csv")) {
        m_format = Format::Csv;
    } else {
        *why = QCoreApplication::translate("RecordFile", "--record takes a .jsonl or a .csv file");
        return false;
    }
    const bool cutShort = endsMidLine(path);
    m_file.setFileName(path);
    // Unbuffered: a line goes to the file in one write, nothing of it waits in a buffer of ours.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        *why = QCoreApplication::translate("RecordFile", "%1 cannot be opened for appending: %2")
                   .arg(path, m_file.errorString());
        return false;
    }
    bool written = true;
    if (m_file.size() == 0) {
        syncFolderOf(path);
        if (m_format == Format::Csv) {
            QStringList header;
            for (const char *column : kColumns)
                header << QLatin1String(column);
            written = write(csvLine(header));
        }
    } else if (cutShort) {
        // The next line starts a line of its own; the cut one stays as it was.
        written = write(m_format == Format::Csv ? "\r\n" : "\n");
    }
    if (!written) {
        *why = QCoreApplication::translate("RecordFile", "%1 cannot be written: %2")
                   .arg(path, m_file.errorString());
        m_file.close();
        return false;
    }
    return true;
}

bool RecordFile::append(const DeviceRecord &record)
{
    return write(line(record));
}

bool RecordFile::write(const QByteArray &text)
{
    return m_file.write(text) == text.size() && sync(m_file);
}

QByteArray RecordFile::line(const DeviceRecord &record) const
{
    const QStringList fields = values(record);
    if (m_format == Format::Csv)
        return csvLine(fields);
    QJsonObject object;
    for (int i = 0; i < fields.size(); ++i)
        object.insert(QLatin1String(kColumns[i]), fields.at(i));
    object.insert(QStringLiteral("seconds"), qRound(record.seconds * 10) / 10.0);
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
