#pragma once

#include "loopbackserver.h"
#include "modalboxes.h"

#include "engine/upgradeengine.h"

#include <QNetworkAccessManager>
#include <QPair>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

class MainWindow;
class Manifest;
class QProgressBar;
class QPushButton;

// What a bucket serves for a release, and what a test looks at afterwards.
namespace Release {
inline const QString kManifestPath = QStringLiteral("/manifest.json");
inline const QString kFirmwarePath = QStringLiteral("/Ravlo_1_2_210226.bin");
inline const QString kPicturePath = QStringLiteral("/product.jpg");
inline const QString kPicture2Path = QStringLiteral("/product2.jpg");
// A manifest whose product "Ravlo" has the given version and digest.
QByteArray manifestJson(const QString &appVersion, const QString &address,
                        const QString &firmwareVersion, const QString &sha256);
QString sha256Hex(const QByteArray &data);
// A manifest naming firmware "1.2" with the image's digest, and the image.
void serve(LoopbackServer &bucket, const QByteArray &image);
// The image files in a temporary directory (links to /dev/full are no image).
QStringList imageFiles(const QString &directory);
// Processes started by this process and not yet reaped.
QStringList childProcesses();
} // namespace Release

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
} // namespace StandIn

// What the real dfu-util printed in a scenario of scripts/capture-transcripts.sh.
QByteArray transcript(const QString &name);

// Limits short enough for a stall to end in a test, long enough for a
// sanitizer build on a busy machine.
EngineLimits testLimits();

// Takes the desktop browser's place for the given URL schemes while it
// exists: every address handed to QDesktopServices::openUrl is recorded.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    explicit UrlCatcher(const QStringList &schemes = {"http", "https", "file"});
    ~UrlCatcher() override;
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }

private:
    const QStringList m_schemes;
};

// A loopback HTTPS bucket and a temporary directory of their own, TMPDIR
// while it lives and the home of the cache folder (where the window keeps
// its pictures), for an engine or a window under test.
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
};

// An UpgradeEngine with testLimits() and the real dfu-util, and a record of
// everything it reported.
class EngineRig : public QObject, public Bench
{
    Q_OBJECT
public:
    using Step = QPair<int, QString>; // a bar value and the last text shown with it

    EngineRig();
    ~EngineRig() override;
    UpgradeEngine &engine() { return *m_engine; }
    // The manifest the bucket serves, taken before a run.
    bool loadManifest();
    bool ended() const { return !failures.isEmpty() || successes > 0; }

    QStringList log; // every level's lines
    QList<UpgradeEngine::Phase> phases;
    QList<UpgradeFailure> failures;
    int successes = 0;
    QList<Step> steps;

private:
    QNetworkAccessManager m_network;
    Manifest *m_manifest;
    UpgradeEngine *m_engine;
};

// A MainWindow as a user meets it, aimed at the bench's bucket, its boxes
// answered by ModalBoxes. Without serveManifest the bucket answers the
// manifest with 404.
class WindowHarness : public Bench
{
public:
    static const QString kStoreUrl;

    ~WindowHarness();
    void serveManifest(const QByteArray &json);
    // A manifest of this program's version, firmware version "1.2" and no digest.
    void serveRelease();
    // Builds and shows the window. With waitForManifest, returns once the
    // window has handled the manifest's outcome (and any box it opened).
    MainWindow *open(bool waitForManifest = true);
    // Destroys the window, as closing it at the end of the program does.
    void close();

    MainWindow *window() const { return m_window.get(); }
    ModalBoxes &boxes() { return m_boxes; }
    QProgressBar *bar() const;
    QPushButton *button(const char *objectName) const;
    QStringList logLines() const;

private:
    ModalBoxes m_boxes;
    std::unique_ptr<MainWindow> m_window;
};
