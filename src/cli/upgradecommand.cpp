#include "upgradecommand.h"

#include "cli/exitcode.h"
#include "cli/recordfile.h"
#include "dfu/dfuutilpath.h"
#include "engine/imagecache.h"
#include "engine/sha256.h"

#include <QCoreApplication>

namespace {
// --wait scans about once a second; a scan is never started before the
// previous one has ended.
constexpr int kRescanMs = 1000;

// The engine's sentence for an image that fails its digest check speaks of
// the window's button.
UpgradeFailure shown(UpgradeFailure failure)
{
    if (failure.stage == UpgradeFailure::Stage::Verify)
        failure.reason = QCoreApplication::translate(
            "UpgradeCommand", "The firmware image failed its SHA-256 check; nothing was written");
    return failure;
}
} // namespace

UpgradeCommand::UpgradeCommand(const Endpoints &endpoints, const UpgradeOptions &options,
                               Console &console, RecordFile *record, QObject *parent)
    : QObject(parent)
    , m_endpoints(endpoints)
    , m_options(options)
    , m_console(console)
    , m_record(record)
    , m_manifest(&m_network, endpoints.manifestKeys)
{
    connect(&m_scanner, &DeviceScanner::finished, this, &UpgradeCommand::onScanned);
    m_rescan.setSingleShot(true);
    m_rescan.setInterval(kRescanMs);
    connect(&m_rescan, &QTimer::timeout, this, &UpgradeCommand::scan);
}

UpgradeCommand::~UpgradeCommand()
{
    // Engines are children: each stops its tool and removes its image.
    m_scanner.stop();
}

void UpgradeCommand::start()
{
    if (m_options.offline && !useKeptImage())
        return;
    if (!m_options.all && !m_options.wait) {
        runSingle();
    } else if (m_options.wait) {
        obtainImage([this] {
            m_console.note(tr("Waiting for Ravlo devices in DFU mode; press Ctrl-C to stop."));
            scan();
        });
    } else {
        // The devices first: without one, nothing is downloaded.
        scan();
    }
}

UpgradeEngine *UpgradeCommand::newEngine(const UpgradeEngine::Plan &plan)
{
    auto *engine = new UpgradeEngine(m_endpoints, &m_manifest, &m_network, this);
    engine->setPlan(plan);
    // Known from the plan, or once the run's scan has found it.
    const auto device = [engine] {
        return engine->device().path;
    };
    connect(engine, &UpgradeEngine::phaseChanged, this,
            [this, device](UpgradeEngine::Phase phase) { m_console.phase(device(), phase); });
    connect(engine, &UpgradeEngine::progress, this, [this, device](const RunProgress &progress) {
        m_console.progress(device(), progress);
    });
    connect(engine, &UpgradeEngine::logLine, this,
            [this, device](UpgradeEngine::Level level, const QString &text) {
                m_console.log(device(), level, text);
            });
    return engine;
}

void UpgradeCommand::startRun(UpgradeEngine *engine, const DfuDevice &device)
{
    DeviceRun &run = m_runs[engine];
    run.device = device;
    run.clock.start();
    engine->start();
}

bool UpgradeCommand::useKeptImage()
{
    const ImageCache::Release kept = ImageCache().release(m_endpoints.manifestKeys);
    if (kept.image.isEmpty()) {
        UpgradeFailure failure;
        failure.stage = UpgradeFailure::Stage::Manifest;
        failure.reason = kept.problem;
        m_console.failed(QString(), failure);
        finish(ExitCode::kNetwork);
        return false;
    }
    m_console.note(
        tr("Offline: the firmware image kept on this computer (SHA-256 %1).").arg(kept.sha256));
    m_options.file = kept.image;
    m_options.sha256 = kept.sha256;
    return true;
}

void UpgradeCommand::runSingle()
{
    UpgradeEngine::Plan plan;
    plan.serial = m_options.serial;
    plan.imageFile = m_options.file;
    plan.imageSha256 = m_options.sha256;
    plan.verify = m_options.verify;
    UpgradeEngine *engine = newEngine(plan);
    connectVerdicts(engine, [this](int exitCode) { finish(exitCode); });
    startRun(engine, DfuDevice());
}

void UpgradeCommand::obtainImage(const std::function<void()> &next)
{
    if (!m_options.file.isEmpty()) {
        if (Sha256::ofFile(m_options.file) != m_options.sha256.toLower()) {
            UpgradeFailure failure;
            failure.stage = UpgradeFailure::Stage::Verify;
            failure.reason =
                tr("%1 is not the image --sha256 names; nothing was written").arg(m_options.file);
            m_console.failed(QString(), failure);
            finish(ExitCode::kVerification);
            return;
        }
        m_image = m_options.file;
        m_imageSha256 = m_options.sha256.toLower();
        next();
        return;
    }
    UpgradeEngine::Plan plan;
    plan.fetchOnly = true;
    m_fetch = newEngine(plan);
    connect(m_fetch, &UpgradeEngine::succeeded, this, [this, next] {
        m_image = m_fetch->verifiedImage();
        m_imageSha256 = m_fetch->verifiedSha256();
        m_console.endProgress(QString());
        m_console.note(
            tr("Firmware image downloaded and verified (SHA-256 %1).").arg(m_imageSha256));
        next();
    });
    connect(m_fetch, &UpgradeEngine::failed, this, [this](const UpgradeFailure &failure) {
        m_console.failed(QString(), shown(failure));
        finish(ExitCode::forFailure(failure));
    });
    m_fetch->start();
}

void UpgradeCommand::scan()
{
    m_scanner.start(dfuUtilPath(), EngineLimits().scanMs);
}

void UpgradeCommand::onScanned(const DeviceScanner::Result &result)
{
    const DeviceSelection selection{m_options.serial, QString()};
    const QList<DfuDevice> devices = result.scan.candidates(selection);
    if (m_options.wait) {
        // A scan that did not finish tells nothing of what is attached.
        if (!result.error) {
            QList<DfuDevice> busy;
            for (const DeviceRun &run : qAsConst(m_runs))
                busy << run.device;
            const AttachTracker::News news =
                m_attaches.update(devices, result.scan.ravloProblems, busy);
            for (const QString &refusal : news.refusals)
                refuse(refusal);
            for (const DfuDevice &device : news.devices)
                flash(device);
        }
        m_rescan.start();
        return;
    }
    if (result.error || devices.isEmpty()) {
        UpgradeFailure failure;
        failure.stage = UpgradeFailure::Stage::Scan;
        failure.reason = tr("No Ravlo device in DFU mode to upgrade");
        if (result.error) {
            Diagnosis::Run run;
            run.phase = Diagnosis::Phase::Scan;
            run.processError = result.error;
            run.errorString = result.errorString;
            failure.finding = Diagnosis::diagnose(run);
        } else {
            failure.finding = Diagnosis::diagnoseScan(result.scan, selection);
        }
        m_console.failed(QString(), failure);
        record(DfuDevice(), ResultName::failure(failure), ResultName::cause(failure.finding.cause),
               0);
        finish(ExitCode::kDevice);
        return;
    }
    m_queue = devices;
    obtainImage([this] {
        if (m_options.parallel) {
            while (!m_queue.isEmpty())
                flash(m_queue.takeFirst());
        } else {
            startNext();
        }
    });
}

void UpgradeCommand::flash(const DfuDevice &device)
{
    UpgradeEngine::Plan plan;
    plan.usbPath = device.path;
    plan.imageFile = m_image;
    plan.imageSha256 = m_imageSha256;
    plan.verify = m_options.verify;
    UpgradeEngine *engine = newEngine(plan);
    connectVerdicts(engine, [this, engine](int) { onDeviceDone(engine); });
    startRun(engine, device);
}

void UpgradeCommand::refuse(const QString &message)
{
    DfuDevice device;
    device.vidPid = kRavloVidPid;
    device.devnum = DfuScan::devnumIn(message);
    DfuScan scan;
    scan.ravloProblems = QStringList(message);
    const QString told = Diagnosis::endingMessage(message);
    UpgradeFailure failure;
    failure.stage = UpgradeFailure::Stage::Scan;
    failure.reason = tr("dfu-util could not open the device (%1); nothing was written")
                         .arg(told.isEmpty() ? message : told);
    failure.finding = Diagnosis::diagnoseScan(scan, {});
    // Known by its bus address alone.
    m_console.failed(device.key(), failure);
    ++m_failed;
    record(device, ResultName::failure(failure), ResultName::cause(failure.finding.cause), 0);
}

void UpgradeCommand::connectVerdicts(UpgradeEngine *engine,
                                     const std::function<void(int exitCode)> &done)
{
    connect(engine, &UpgradeEngine::succeeded, this, [this, engine, done] {
        m_console.upgraded(engine->device().path, m_options.verify);
        ++m_upgraded;
        record(engine,
               m_options.verify ? ResultName::Verdict::Verified : ResultName::Verdict::Written,
               ResultName::cause(Diagnosis::Cause::None));
        done(ExitCode::kOk);
    });
    connect(engine, &UpgradeEngine::unproven, this,
            [this, engine, done](const Diagnosis::Finding &finding) {
                m_console.unproven(engine->device().path, finding);
                ++m_unproven;
                record(engine, ResultName::Verdict::Unproven, ResultName::cause(finding.cause));
                done(ExitCode::kUnproven);
            });
    connect(
        engine, &UpgradeEngine::failed, this, [this, engine, done](const UpgradeFailure &failure) {
            m_console.failed(engine->device().path, shown(failure));
            ++m_failed;
            record(engine, ResultName::failure(failure), ResultName::cause(failure.finding.cause));
            const int exitCode = ExitCode::forFailure(failure);
            if (exitCode == ExitCode::kNotKept)
                ++m_notKept;
            done(exitCode);
        });
}

void UpgradeCommand::record(UpgradeEngine *engine, ResultName::Verdict verdict,
                            const QString &cause)
{
    const DeviceRun run = m_runs.value(engine);
    record(run.device.path.isEmpty() ? engine->device() : run.device, verdict, cause,
           run.clock.elapsed());
}

void UpgradeCommand::record(const DfuDevice &device, ResultName::Verdict verdict,
                            const QString &cause, qint64 milliseconds)
{
    if (!m_record)
        return;
    const bool local = !m_options.file.isEmpty();
    DeviceRecord record;
    record.time = QDateTime::currentDateTimeUtc();
    record.station = m_options.station;
    record.usbPath = device.path;
    record.serial = device.serial;
    record.firmwareVersion = local ? QString() : m_manifest.productVersion();
    record.imageSha256 = (local ? m_options.sha256 : m_manifest.productSha256()).toLower();
    record.verdict = ResultName::verdict(verdict);
    record.cause = cause;
    record.seconds = milliseconds / 1000.0;
    record.programVersion = QCoreApplication::applicationVersion();
    if (!m_record->append(record))
        m_console.log(
            device.key(), UpgradeEngine::Level::Error,
            tr("The result could not be added to the record: %1").arg(m_record->errorString()));
}

void UpgradeCommand::onDeviceDone(UpgradeEngine *engine)
{
    m_runs.remove(engine);
    engine->deleteLater();
    if (m_options.wait)
        return;
    if (!m_queue.isEmpty())
        startNext();
    else if (m_runs.isEmpty())
        finish(summarize());
}

void UpgradeCommand::startNext()
{
    flash(m_queue.takeFirst());
}

void UpgradeCommand::interrupt()
{
    if (m_finished)
        return;
    m_rescan.stop();
    m_scanner.stop();
    const int stopped = int(m_runs.size());
    const QList<UpgradeEngine *> engines = m_runs.keys();
    // Recorded as they are stopped, before stopping one takes its time.
    for (UpgradeEngine *engine : engines) {
        const bool writing = UpgradeEngine::writesDevice(engine->phase());
        record(engine, writing ? ResultName::Verdict::Failed : ResultName::Verdict::Refused,
               QStringLiteral("interrupted"));
    }
    for (UpgradeEngine *engine : engines)
        engine->cancel();
    const bool downloading = m_fetch && m_fetch->phase() != UpgradeEngine::Phase::Idle;
    if (m_fetch)
        m_fetch->shutdown();
    m_failed += stopped;
    // Waiting is ended this way; what it cut short is an interruption.
    if (m_options.wait && stopped == 0 && !downloading) {
        finish(summarize());
        return;
    }
    if (m_options.all || m_options.wait)
        summarize();
    finish(ExitCode::kInterrupted);
}

int UpgradeCommand::summarize()
{
    m_console.summary(m_upgraded, m_unproven, m_failed);
    return ExitCode::forDevices(m_failed, m_notKept, m_unproven);
}

void UpgradeCommand::finish(int exitCode)
{
    if (m_finished)
        return;
    m_finished = true;
    emit finished(exitCode);
}
