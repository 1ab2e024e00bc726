#pragma once

#include "dfu/dfuscan.h"
#include "dfu/diagnosis.h"
#include "engine/devicescanner.h"
#include "engine/endpoints.h"
#include "engine/enginelimits.h"
#include "engine/imagecache.h"
#include "engine/imagedownload.h"
#include "engine/runprogress.h"
#include "engine/steprun.h"
#include "session/sleepinhibitor.h"

#include <QObject>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

class Manifest;
class QNetworkAccessManager;

// How a run ended when it did not write the image.
struct UpgradeFailure
{
    enum class Stage
    {
        Scan,     // the tool, or the one Ravlo device to write, was not found
        Manifest, // no usable digest for the image
        Download, // the image did not arrive in a file
        Verify,   // the image is not the one the manifest names
        Flash,    // dfu-util did not write it
        ReadBack, // the device did not give back what was written
    };
    Stage stage = Stage::Scan;
    // What went wrong, in a sentence ("Firmware verification failed, ...").
    QString reason;
    // For a dfu-util that failed as a process (did not start, crashed, ...):
    // "Process crashed" and its explanation; empty otherwise.
    QString processErrorKind;
    QString processErrorDetails;
    // What the user can make of a failure of the tool or the device: the
    // cause in a sentence and what to do next. Empty for the network stages.
    Diagnosis::Finding finding;
};

Q_DECLARE_METATYPE(UpgradeFailure)

// The road of one upgrade without any widget: find the one Ravlo device with
// dfu-util -l, make sure the manifest names the image's digest, take the image
// kept by an earlier run or download and verify it (and keep it for the next
// run), wait the burn delay, write it with dfu-util, read it back and, only
// when what came back is the image, let the device leave DFU mode.
// It reports by signals; what a window or a terminal makes of them is theirs.
// A run owns its scan, its reply, its image file, its read-back file and its
// dfu-util process, and leaves none of them behind: the files are removed
// whenever a run ends (what the image cache keeps is the cache's).
class UpgradeEngine : public QObject
{
    Q_OBJECT
public:
    enum class Phase
    {
        Idle,
        Scanning,
        FetchingManifest,
        Downloading,
        Verifying,
        BurnPending,
        Flashing,    // dfu-util writes the image
        ReadingBack, // ... reads it back
        Leaving,     // ... makes the device leave DFU mode
        RestartPending,
    };
    Q_ENUM(Phase)
    // Whether dfu-util talks to the device in this phase.
    static bool talksToDevice(Phase phase);
    // Whether dfu-util writes, reads back or resets the device in this phase:
    // stopped here, the device may be left half-written.
    static bool writesDevice(Phase phase);

    enum class Level
    {
        Info,
        Warning,
        Error,
    };
    Q_ENUM(Level)

    // Which device and which image, where a run should not take the defaults
    // (the one Ravlo device attached, the image the manifest names).
    struct Plan
    {
        QString serial;      // only the Ravlo device with this serial
        QString usbPath;     // only the Ravlo device at this USB path
        QString imageFile;   // a local image instead of the download; kept
        QString imageSha256; // the digest the local image must have
        // No device: the run ends with the verified image, which the engine
        // keeps (verifiedImage()) until its next run or its shutdown.
        bool fetchOnly = false;
        // The image is read back before the device leaves DFU mode; without,
        // succeeded() means only that dfu-util wrote it.
        bool verify = true;
    };

    // The manifest is shared with whoever shows its values; the engine fetches
    // it again when a run finds no usable digest in it. Where the endpoints
    // name keys, only a manifest held to them (and verified) names one.
    UpgradeEngine(const Endpoints &endpoints, Manifest *manifest, QNetworkAccessManager *network,
                  QObject *parent = nullptr);
    ~UpgradeEngine() override;

    void setLimits(const EngineLimits &limits);
    const EngineLimits &limits() const { return m_limits; }
    void setToolPath(const QString &path) { m_toolPath = path; }
    QString toolPath() const { return m_toolPath; }
    void setPlan(const Plan &plan) { m_plan = plan; }

    Phase phase() const { return m_phase; }
    // The device the run writes (or wrote): its path from the plan, all of it
    // once the run's scan has found it.
    DfuDevice device() const { return m_device; }
    // The image a fetch-only run verified, and its digest; empty otherwise.
    QString verifiedImage() const;
    QString verifiedSha256() const;

    // Starts a run; nothing happens while one is under way.
    void start();
    // Stops the run under way (the tool within the cancel grace); no verdict.
    void cancel();
    // Cancels what runs, if anything, then starts a new run after the restart delay.
    void restart();
    // Stops whatever runs within the close grace, silently: the program ends.
    void shutdown();

signals:
    void phaseChanged(UpgradeEngine::Phase phase);
    // The bar moved or its text changed; its value only ever rises in a run.
    void progress(const RunProgress &progress);
    void logLine(UpgradeEngine::Level level, const QString &text);
    // The run has ended; the phase is Idle again when these arrive. Success
    // is the image read back (unless the plan says not to) and the device
    // told to leave DFU mode.
    void failed(const UpgradeFailure &failure);
    void succeeded();
    // The image was written, but the device refused to be read back: neither
    // success nor failure. The device stays in DFU mode.
    void unproven(const Diagnosis::Finding &finding);

private slots:
    void onFirmwareDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);

private:
    void setPhase(Phase phase);
    void log(Level level, const QString &text);
    // The bar at percent of stage, never lower than it was in this run; a
    // null text keeps the one shown.
    void showProgress(RunProgress::Stage stage, int percent, const QString &text = QString());
    void showText(const QString &text);
    void onScanFinished(const DeviceScanner::Result &result);
    // The device to write, or why there is none.
    Diagnosis::Finding chooseDevice(const DfuScan &scan);
    void afterScan();
    void fetchManifest();
    // The image's digest as the manifest vouches for it; empty when it does not.
    QString manifestDigest() const;
    void onManifestOutcome(bool success, const QString &errorMsg);
    // The image the manifest names: kept by an earlier run, or downloaded.
    void obtainImage();
    void startFirmwareDownload();
    void onDownloadFinished(const ImageDownload::Outcome &outcome);
    void verify(const QString &actualSha256, const QString &expectedSha256);
    void imageVerified(const QString &sha256);
    // False, with the run failed, when an image of this size cannot fit the
    // device's flash (where its size is known).
    bool fits(qint64 imageSize);
    // Writing starts.
    void startBurning();
    void runStep(FlashStep step, const QStringList &arguments);
    void onStepFinished(const StepRun::Result &result);
    void readBack();
    void compareReadBack();
    void leave();
    void succeed();
    void failStep(const StepRun::Result &result);
    // What a step printed and how it ended, for a diagnosis.
    Diagnosis::Run diagnosisRun(const StepRun::Result &result) const;
    void fail(UpgradeFailure::Stage stage, const QString &reason,
              const Diagnosis::Finding &finding = {});
    void fail(const UpgradeFailure &failure);
    // The run ends: stops and releases everything of it; the tool within graceMs.
    void endRun(int graceMs);
    QString readBackFile() const;

    const Endpoints m_endpoints;
    Manifest *const m_manifest;
    QNetworkAccessManager *const m_network;
    EngineLimits m_limits;
    QString m_toolPath;
    Plan m_plan;
    Phase m_phase = Phase::Idle;

    DeviceScanner *m_scanner;
    ImageCache m_cache;
    QPointer<ImageDownload> m_download;
    QString m_imagePath; // the image the run writes: the plan's, kept or downloaded
    QPointer<StepRun> m_step;
    std::unique_ptr<QTemporaryDir> m_readBackDir; // holds the read-back file
    DfuDevice m_device;
    QList<DfuDevice> m_seen;     // every device the run's scan saw
    bool m_imageChecked = false; // against the chosen device's flash
    QString m_expectedSha256;    // the digest the downloaded image must have
    QString m_imageSha256;       // the digest the image was verified against
    qint64 m_imageSize = 0;
    // Held from the flash's start until the run ends, however it ends.
    SleepInhibitor m_awake;
    QTimer m_burnTimer;
    QTimer m_restartTimer;
    RunProgress m_progress;
    qint64 m_lastSpeedUpdateTime = 0;
    qint64 m_lastBytesReceived = 0;
};
