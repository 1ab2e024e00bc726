#pragma once

#include "cli/attachtracker.h"
#include "cli/console.h"
#include "cli/resultnames.h"
#include "engine/devicescanner.h"
#include "engine/upgradeengine.h"
#include "manifest/manifest.h"

#include <QElapsedTimer>
#include <QHash>
#include <QNetworkAccessManager>
#include <QTimer>

#include <functional>

struct UpgradeOptions
{
    QString serial;        // only the Ravlo device with this serial
    bool all = false;      // every attached Ravlo device, in turn
    bool parallel = false; // ... at the same time
    bool wait = false;     // every Ravlo device as it is plugged in, until interrupted
    QString file;          // a local image instead of the bucket's
    QString sha256;        // the digest the local image must have
    bool verify = true;    // read the image back before the device leaves DFU mode
    QString station;       // names this computer in the records
    bool offline = false;  // the kept image the kept update information names, as the file
};

class RecordFile;

// `ravlo-flash upgrade`: one UpgradeEngine run per device, the image
// downloaded and verified once per invocation (by a fetch-only run) and its
// digest checked again by each device's run before its flash. Each device's
// result is reported, and appended to the record when there is one.
class UpgradeCommand : public QObject
{
    Q_OBJECT
public:
    UpgradeCommand(const Endpoints &endpoints, const UpgradeOptions &options, Console &console,
                   RecordFile *record = nullptr, QObject *parent = nullptr);
    ~UpgradeCommand() override;

    void start();
    // Ctrl-C, SIGTERM or SIGHUP: every run is stopped and its image removed;
    // each device stopped is recorded.
    void interrupt();

signals:
    void finished(int exitCode);

private:
    // A device's run: the device as the scan before it saw it (none for a
    // single upgrade, whose run finds it), and since when it runs.
    struct DeviceRun
    {
        DfuDevice device;
        QElapsedTimer clock;
    };

    UpgradeEngine *newEngine(const UpgradeEngine::Plan &plan);
    void startRun(UpgradeEngine *engine, const DfuDevice &device);
    // --offline: the kept image becomes the local image; false, with the
    // command finished, when there is none to use.
    bool useKeptImage();
    void runSingle();
    // The verified image, from the file or the bucket, then next().
    void obtainImage(const std::function<void()> &next);
    void scan();
    void onScanned(const DeviceScanner::Result &result);
    void flash(const DfuDevice &device);
    // --wait: a Ravlo device the tool could not open, reported once per attach.
    void refuse(const QString &message);
    // A device's verdict: reports it, records it and counts it, then goes on.
    void connectVerdicts(UpgradeEngine *engine, const std::function<void(int exitCode)> &done);
    void record(UpgradeEngine *engine, ResultName::Verdict verdict, const QString &cause);
    void record(const DfuDevice &device, ResultName::Verdict verdict, const QString &cause,
                qint64 milliseconds);
    void onDeviceDone(UpgradeEngine *engine);
    void startNext();
    void finish(int exitCode);
    // The devices' verdicts, with the exit code that goes with them.
    int summarize();

    const Endpoints m_endpoints;
    UpgradeOptions m_options;
    Console &m_console;
    RecordFile *const m_record;
    QNetworkAccessManager m_network;
    Manifest m_manifest;
    UpgradeEngine *m_fetch = nullptr; // keeps the verified image until the end
    QString m_image;
    QString m_imageSha256;
    DeviceScanner m_scanner;
    QTimer m_rescan;
    QList<DfuDevice> m_queue;                 // --all: devices not yet started
    QHash<UpgradeEngine *, DeviceRun> m_runs; // device runs under way
    AttachTracker m_attaches;                 // --wait
    int m_upgraded = 0;
    int m_unproven = 0;
    int m_failed = 0; // not-kept ones included
    int m_notKept = 0;
    bool m_finished = false;
};
