#include "upgradecommand.h"

#include "cli/exitcode.h"
#include "dfu/dfuutilpath.h"
#include "engine/imagecache.h"
#include "engine/sha256.h"

namespace {
// --wait scans about once a second; a scan is never started before the
// previous one has ended.
constexpr int kRescanMs = 1000;
} // namespace

UpgradeCommand::UpgradeCommand(const Endpoints &endpoints, const UpgradeOptions &options,
                               Console &console, QObject *parent)
    : QObject(parent)
    , m_endpoints(endpoints)
    , m_options(options)
    , m_console(console)
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
    connect(engine, &UpgradeEngine::barValue, this,
            [this, engine](int value) { m_barValues[engine] = value; });
    connect(engine, &UpgradeEngine::barText, this, [this, engine, device](const QString &text) {
        m_console.progress(device(), m_barValues.value(engine), text);
    });
    connect(engine, &UpgradeEngine::logLine, this,
            [this, device](UpgradeEngine::Level level, const QString &text) {
                m_console.log(device(), level, text);
            });
    return engine;
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
    m_running << engine;
    connectVerdicts(engine, [this](int exitCode) { finish(exitCode); });
    engine->start();
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
        m_console.failed(QString(), failure);
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
        // A device that is gone may be taken again when it comes back.
        QSet<QString> attached;
        for (const DfuDevice &device : devices)
            attached.insert(device.path);
        for (UpgradeEngine *engine : qAsConst(m_running))
            attached.insert(engine->device().path);
        m_seen.intersect(attached);
        for (const DfuDevice &device : devices) {
            if (!m_seen.contains(device.path)) {
                m_seen.insert(device.path);
                flash(device);
            }
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
    m_running << engine;
    connectVerdicts(engine, [this, engine](int) { onDeviceDone(engine); });
    engine->start();
}

void UpgradeCommand::connectVerdicts(UpgradeEngine *engine,
                                     const std::function<void(int exitCode)> &done)
{
    connect(engine, &UpgradeEngine::succeeded, this, [this, engine, done] {
        m_console.upgraded(engine->device().path, m_options.verify);
        ++m_upgraded;
        done(ExitCode::kOk);
    });
    connect(engine, &UpgradeEngine::unproven, this,
            [this, engine, done](const Diagnosis::Finding &finding) {
                m_console.unproven(engine->device().path, finding);
                ++m_unproven;
                done(ExitCode::kUnproven);
            });
    connect(engine, &UpgradeEngine::failed, this,
            [this, engine, done](const UpgradeFailure &failure) {
                m_console.failed(engine->device().path, failure);
                ++m_failed;
                const int exitCode = ExitCode::forFailure(failure);
                if (exitCode == ExitCode::kNotKept)
                    ++m_notKept;
                done(exitCode);
            });
}

void UpgradeCommand::onDeviceDone(UpgradeEngine *engine)
{
    m_running.removeAll(engine);
    m_barValues.remove(engine);
    engine->deleteLater();
    if (m_options.wait)
        return;
    if (!m_queue.isEmpty())
        startNext();
    else if (m_running.isEmpty())
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
    const int stopped = int(m_running.size());
    for (UpgradeEngine *engine : qAsConst(m_running))
        engine->cancel();
    if (m_fetch)
        m_fetch->shutdown();
    m_failed += stopped;
    if (m_options.wait) {
        finish(summarize());
        return;
    }
    if (m_options.all)
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
