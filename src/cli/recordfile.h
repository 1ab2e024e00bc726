#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// What became of one device, as a production line keeps it: every result of
// a device's run, and a run that found no device to write.
struct DeviceRecord
{
    QDateTime time; // when the result came, in UTC
    QString station;
    QString usbPath; // empty where the tool named none (a device it could not open)
    QString serial;
    QString firmwareVersion; // empty for a local image
    QString imageSha256;
    // As the JSON result event names it ("verified", "written" under
    // --no-verify, "unproven", "failed"), or "refused": nothing was written.
    QString verdict;
    // The diagnosis' name of the cause, as the JSON result event names it;
    // "none" when written, "interrupted" when a signal stopped the run.
    QString cause;
    double seconds = 0; // from the start of the device's run to its result
    QString programVersion;
};

// The file --record appends to: one line per device, JSON Lines (.jsonl) or
// CSV (.csv, with a header line when the file is new). Every line is written
// whole and reaches the disk before append() returns, so a crash or a power
// cut loses at most the device in progress.
class RecordFile
{
public:
    // Opens the file for appending; on false, why not.
    bool open(const QString &path, QString *why);
    bool append(const DeviceRecord &record);
    QString errorString() const { return m_file.errorString(); }

private:
    enum class Format
    {
        JsonLines,
        Csv,
    };

    // One write, then onto the disk.
    bool write(const QByteArray &text);
    QByteArray line(const DeviceRecord &record) const;

    QFile m_file;
    Format m_format = Format::JsonLines;
};
