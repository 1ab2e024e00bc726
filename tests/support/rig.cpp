#include "rig.h"

#include "dfu/dfuutilpath.h"
#include "manifest/manifest.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>

namespace {
void restore(const char *name, const QByteArray &previous)
{
    if (previous.isNull())
        qunsetenv(name);
    else
        qputenv(name, previous);
}
} // namespace

namespace Leftovers {

QStringList runFiles(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral("Ravlo_*")},
                                     QDir::Files | QDir::Dirs | QDir::NoSymLinks);
}

QStringList childProcesses()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QStringList names;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        // A zombie has ended: an orphan taken in by a subreaper stays one,
        // as nothing here reaps it.
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.value(0) != "Z" && fields.value(1) == self)
            names << QString::fromLocal8Bit(line.left(close));
    }
    return names;
}

} // namespace Leftovers

namespace ToolSlot {

bool installExecutable()
{
    QFile real(QStringLiteral(RAVLO_TEST_REAL_DFU_UTIL));
    return real.open(QIODevice::ReadOnly) &&
           installContent(real.readAll(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
}

bool installContent(const QByteArray &content, QFileDevice::Permissions permissions)
{
    QFile file(dfuUtilPath());
    if (!remove() || !QDir().mkpath(QFileInfo(file).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(content) != content.size())
        return false;
    file.close();
    return file.setPermissions(permissions | QFileDevice::WriteOwner);
}

bool remove()
{
    return !QFileInfo::exists(dfuUtilPath()) || QFile::remove(dfuUtilPath());
}

} // namespace ToolSlot

bool StandIn::install(const QString &path, const QByteArray &flashScript,
                      const QByteArray &listScript)
{
    const QByteArray list =
        listScript.isNull() ? "cat '" RAVLO_TRANSCRIPTS_DIR "/list-one.txt'" : listScript;
    QFile file(path);
    QFile::remove(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write("#!/bin/sh\nif [ \"$1\" = -l ]; then\n" + list + "\nelse\n" + flashScript +
                      "\nfi\n") > 0 &&
           file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                               QFileDevice::ExeOwner);
}

QByteArray transcript(const QString &name)
{
    QFile file(QStringLiteral(RAVLO_TRANSCRIPTS_DIR "/%1.txt").arg(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

EngineLimits testLimits()
{
    EngineLimits limits;
    limits.scanMs = 2000;
    limits.transferMs = 1500;
    limits.retryPauseMs = 20;
    limits.burnDelayMs = 50;
    limits.restartDelayMs = 50;
    limits.cancelGraceMs = 600;
    limits.closeGraceMs = 800;
    return limits;
}

namespace TestKeys {

const MinisignSigner &maker()
{
    static const MinisignSigner key(QByteArray(32, 'm'), "testmkr1");
    return key;
}

const MinisignSigner &stranger()
{
    static const MinisignSigner key(QByteArray(32, 's'), "stranger");
    return key;
}

QByteArray sign(const QByteArray &manifest, qint64 sequence, const QDateTime &expires)
{
    return maker().sign(manifest, Release::trustedComment(sequence, expires));
}

} // namespace TestKeys

Bench::Bench()
    : m_bucket(LoopbackServer::Transport::Https)
    , m_previousTmpDir(qgetenv("TMPDIR"))
    , m_previousCacheHome(qgetenv("XDG_CACHE_HOME"))
    , m_previousConfigHome(qgetenv("XDG_CONFIG_HOME"))
{
    // The code under test asks QStandardPaths, which reads these on every
    // call; QSettings reads its folder once per process, so it is told.
    qputenv("TMPDIR", QFile::encodeName(m_temp.path()));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_temp.filePath("cache")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_temp.filePath("config")));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_temp.filePath("config"));
}

Bench::~Bench()
{
    restore("TMPDIR", m_previousTmpDir);
    restore("XDG_CACHE_HOME", m_previousCacheHome);
    restore("XDG_CONFIG_HOME", m_previousConfigHome);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}

EngineRig::EngineRig(const QStringList &manifestKeys)
    : m_manifest(new Manifest(&m_network, manifestKeys, this))
    , m_engine(
          new UpgradeEngine(Endpoints{bucket().url(), "https://store.example.com", manifestKeys},
                            m_manifest, &m_network, this))
{
    m_engine->setLimits(testLimits());
    m_engine->setToolPath(QStringLiteral(RAVLO_TEST_REAL_DFU_UTIL));
    connect(m_engine, &UpgradeEngine::phaseChanged, this, [this](auto phase) { phases << phase; });
    connect(m_engine, &UpgradeEngine::logLine, this,
            [this](auto, const QString &text) { log << text; });
    connect(m_engine, &UpgradeEngine::failed, this,
            [this](const UpgradeFailure &failure) { failures << failure; });
    connect(m_engine, &UpgradeEngine::succeeded, this, [this] { ++successes; });
    connect(m_engine, &UpgradeEngine::unproven, this,
            [this](const Diagnosis::Finding &finding) { unproven << finding; });
    // A step per value, with the last text shown while the bar held it.
    connect(m_engine, &UpgradeEngine::progress, this, [this](const RunProgress &progress) {
        if (steps.isEmpty() || steps.last().first != progress.value)
            steps << Step{progress.value, progress.text};
        steps.last().second = progress.text;
    });
}

EngineRig::~EngineRig()
{
    delete m_engine;
}

bool EngineRig::loadManifest()
{
    QSignalSpy outcome(m_manifest, &Manifest::manifestDownloaded);
    m_manifest->downloadManifest(bucket().url(Release::kManifestPath));
    return outcome.wait(10000) && outcome.first().first().toBool();
}
