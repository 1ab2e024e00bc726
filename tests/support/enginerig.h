#pragma once

#include "barrecorder.h"
#include "loopbackserver.h"

#include "engine/upgradeengine.h"

#include <QNetworkAccessManager>
#include <QTemporaryDir>

#include <memory>

class Manifest;

// An UpgradeEngine aimed at a loopback HTTPS bucket, with a temporary
// directory of its own, short time limits and the real dfu-util, and a record
// of everything it reported.
//
//   EngineRig rig;
//   Release::serve(rig.bucket(), image);
//   rig.engine().start();
//   QTRY_VERIFY(rig.ended());
class EngineRig : public QObject
{
    Q_OBJECT
public:
    // Limits short enough for a stall to end in a test, long enough for a
    // sanitizer build on a busy machine.
    static EngineLimits testLimits();

    EngineRig();
    ~EngineRig() override;

    LoopbackServer &bucket() { return m_bucket; }
    UpgradeEngine &engine() { return *m_engine; }
    Manifest &manifest() { return *m_manifest; }
    QString tempPath() const { return m_temp.path(); }

    // The manifest the bucket serves, taken before a run.
    bool loadManifest();
    bool ended() const { return !failures.isEmpty() || successes > 0; }
    // The log lines as "ERROR: text".
    QStringList log;
    QList<UpgradeEngine::Phase> phases;
    QList<UpgradeFailure> failures;
    int successes = 0;
    std::unique_ptr<BarRecorder> bar;

private:
    LoopbackServer m_bucket;
    QTemporaryDir m_temp;
    QByteArray m_previousTmpDir;
    QNetworkAccessManager m_network;
    Manifest *m_manifest;
    UpgradeEngine *m_engine;
};
