#pragma once

#include <QDateTime>
#include <QFile>
#include <QString>

// What became of one device, as a production line keeps it.
struct DeviceRecord
{
    QDateTime time; // when the result came, in UTC
    QString station;
    QString usbPath;
    QString serial;
    QString firmwareVersion;
    QString imageSha256;
    QString verdict; // "verified", "unproven", "failed" or "refused"
    QString cause;   // the diagnosis' name of the cause; "none" when verified
    double seconds = 0;
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

private:
    enum class Format
    {
        JsonLines,
        Csv,
    };

    QByteArray line(const DeviceRecord &record) const;

    QFile m_file;
    Format m_format = Format::JsonLines;
};
