#pragma once

#include "loopbackserver.h"
#include "minisigner.h"
#include "release.h"

#include "engine/upgradeengine.h"

#include <QNetworkAccessManager>
#include <QPair>
#include <QTemporaryDir>

class Manifest;

// What a run may have left behind, for a test to look at afterwards.
namespace Leftovers {
// The files of runs in a temporary directory: images and read-back folders
// (links to /dev/full are no image).
QStringList runFiles(const QString &directory);
// Processes started by this process and still running; with a child
// subreaper also what they started and left behind.
QStringList childProcesses();
} // namespace Leftovers

// The place where the code under test looks for dfu-util, beside the test
// binary (each of which has a folder of its own).
namespace ToolSlot {
// The real dfu-util 0.11 the build was configured with.
bool installExecutable();
bool installContent(const QByteArray &content, QFileDevice::Permissions permissions);
bool remove();
} // namespace ToolSlot

// A shell script in the tool's place for what the real dfu-util cannot be
// made to do on demand: asked for "-l" it lists one Ravlo device as the real
// tool does, asked for anything else it runs the flash script.
namespace StandIn {
bool install(const QString &path, const QByteArray &flashScript,
             const QByteArray &listScript = QByteArray());
inline const QByteArray kCrash = "echo 'Opening DFU capable USB device...'; kill -SEGV $$";
inline const QByteArray kHang =
    "echo 'Opening DFU capable USB device...'; trap '' TERM; exec sleep 600";
// The same, in a process of its own that the tool waits for.
inline const QByteArray kHangInChild =
    "trap '' TERM; sleep 600 & echo 'Opening DFU capable USB device...'; wait";
} // namespace StandIn

// What the real dfu-util printed in a scenario of scripts/capture-transcripts.sh.
QByteArray transcript(const QString &name);

// Limits short enough for a stall to end in a test, long enough for a
// sanitizer build on a busy machine.
EngineLimits testLimits();

// The maker's signing key in the tests, which the code under test is told
// to trust, and a key it is not.
namespace TestKeys {
const MinisignSigner &maker();
const MinisignSigner &stranger();
// The maker's signature of a manifest (manifest.json.minisig).
QByteArray sign(const QByteArray &manifest, qint64 sequence,
                const QDateTime &expires = QDateTime::currentDateTimeUtc().addDays(1));
} // namespace TestKeys

// A loopback HTTPS bucket and a temporary directory of their own, TMPDIR
// while it lives and the home of the cache folder (where the window keeps
// its pictures) and of the settings (the sequence of the manifests
// accepted), for an engine or a window under test.
class Bench
{
public:
    Bench();
    ~Bench();
    Bench(const Bench &) = delete;
    Bench &operator=(const Bench &) = delete;
    LoopbackServer &bucket() { return m_bucket; }
    QString tempPath() const { return m_temp.path(); }

private:
    LoopbackServer m_bucket;
    QTemporaryDir m_temp;
    const QByteArray m_previousTmpDir;
    const QByteArray m_previousCacheHome;
    const QByteArray m_previousConfigHome;
};

// An UpgradeEngine with testLimits() and the real dfu-util, and a record of
// everything it reported; its manifest held to the given keys.
class EngineRig : public QObject, public Bench
{
    Q_OBJECT
public:
    using Step = QPair<int, QString>; // a bar value and the last text shown with it

    explicit EngineRig(const QStringList &manifestKeys = QStringList());
    ~EngineRig() override;
    UpgradeEngine &engine() { return *m_engine; }
    // The manifest the bucket serves, taken before a run.
    bool loadManifest();
    bool ended() const { return !failures.isEmpty() || !unproven.isEmpty() || successes > 0; }

    QStringList log; // every level's lines
    QList<UpgradeEngine::Phase> phases;
    QList<UpgradeFailure> failures;
    QList<Diagnosis::Finding> unproven;
    int successes = 0;
    QList<Step> steps;

private:
    QNetworkAccessManager m_network;
    Manifest *m_manifest;
    UpgradeEngine *m_engine;
};
