#pragma once

#include "engine/upgradeengine.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QTextStream>

// What ravlo-flash prints: on a terminal one progress line per device that
// updates in place; otherwise plain lines; with --json one JSON object a line
// for every event. Results and diagnoses of failures also go to standard
// error, whatever the mode.
class Console
{
    Q_DECLARE_TR_FUNCTIONS(Console)
public:
    enum class Mode
    {
        Terminal,
        Plain,
        Json,
    };

    // Json when asked for, else Terminal when standard output is one.
    static Mode detect(bool json);
    explicit Console(Mode mode);
    Mode mode() const { return m_mode; }

    // A line of a command's report (list, info); with --json the object
    // instead (an empty one: nothing).
    void report(const QString &line, const QJsonObject &object);
    // Events of an upgrade; device is the USB path, or empty before the scan.
    void phase(const QString &device, UpgradeEngine::Phase phase);
    void progress(const QString &device, const RunProgress &progress);
    void log(const QString &device, UpgradeEngine::Level level, const QString &text);
    // A device's verdict; device empty: the invocation's, before any device.
    // verified: the image was read back, not skipped by --no-verify.
    void upgraded(const QString &device, bool verified);
    // Written, but the device refused to be read back.
    void unproven(const QString &device, const Diagnosis::Finding &finding);
    void failed(const QString &device, const UpgradeFailure &failure);
    // A message about the whole invocation ("waiting for devices ...").
    void note(const QString &text);
    // The run of a device (or of the image, "") is over without a result line.
    void endProgress(const QString &device);
    void summary(int upgraded, int unproven, int failed);

private:
    // A verdict's result event and its lines: the lines on standard error
    // unless it is a success.
    void result(const QString &device, QJsonObject object, const QStringList &lines, bool ok);
    void emitJson(QJsonObject object);
    // Prints a finished line above the progress lines.
    void printLine(QTextStream &stream, const QString &line);
    void redraw();
    static QString label(const QString &device);

    const Mode m_mode;
    QTextStream m_out;
    QTextStream m_err;
    // Terminal: the progress line of every device under way, and how many
    // lines of them are on the screen below the cursor's line.
    QMap<QString, QString> m_progress;
    int m_drawn = 0;
    // Plain: per device, the progress printed last.
    QMap<QString, RunProgress> m_printed;
};
