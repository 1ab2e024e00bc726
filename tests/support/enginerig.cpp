#include "enginerig.h"

#include "release.h"
#include "toolslot.h"

#include "manifest/manifest.h"

#include <QMetaEnum>
#include <QSignalSpy>

EngineLimits EngineRig::testLimits()
{
    EngineLimits limits;
    limits.transferMs = 1500;
    limits.burnDelayMs = 50;
    limits.restartDelayMs = 50;
    limits.cancelGraceMs = 600;
    limits.closeGraceMs = 800;
    return limits;
}

EngineRig::EngineRig()
    : m_bucket(LoopbackServer::Transport::Https)
    , m_previousTmpDir(qgetenv("TMPDIR"))
    , m_manifest(new Manifest(&m_network, this))
    , m_engine(
          new UpgradeEngine(Endpoints{m_bucket.url(), QStringLiteral("https://store.example.com")},
                            m_manifest, &m_network, this))
{
    // The engine asks QStandardPaths for the temporary directory, which reads
    // TMPDIR on every call.
    qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    m_engine->setLimits(testLimits());
    m_engine->setToolPath(ToolSlot::realToolPath());
    bar = std::make_unique<BarRecorder>(m_engine);
    connect(m_engine, &UpgradeEngine::phaseChanged, this, [this](auto phase) { phases << phase; });
    connect(m_engine, &UpgradeEngine::logLine, this, [this](auto level, const QString &text) {
        log << QString::fromLatin1(
                   QMetaEnum::fromType<UpgradeEngine::Level>().valueToKey(int(level)))
                       .toUpper() +
                   QStringLiteral(": ") + text;
    });
    connect(m_engine, &UpgradeEngine::failed, this,
            [this](const UpgradeFailure &failure) { failures << failure; });
    connect(m_engine, &UpgradeEngine::succeeded, this, [this] { ++successes; });
}

EngineRig::~EngineRig()
{
    delete m_engine;
    if (m_previousTmpDir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", m_previousTmpDir);
}

bool EngineRig::loadManifest()
{
    QSignalSpy outcome(m_manifest, &Manifest::manifestDownloaded);
    m_manifest->downloadManifest(m_bucket.url(Release::kManifestPath));
    return outcome.wait(10000) && outcome.first().first().toBool();
}
