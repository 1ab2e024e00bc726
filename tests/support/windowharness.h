#pragma once

#include "loopbackserver.h"
#include "modalboxes.h"
#include "release.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class MainWindow;
class Manifest;
class QProgressBar;
class QPushButton;
class QTextEdit;

// A MainWindow under test, the way a user meets it: aimed at a loopback HTTPS
// bucket (manifest, firmware image, pictures), with the boxes it opens
// answered by ModalBoxes, and with a temporary directory and a cache folder of
// its own, so test binaries running side by side never share an image file.
//
//   WindowHarness harness;
//   Release::serve(harness.bucket(), image);
//   MainWindow *window = harness.open();       // waits for the manifest's outcome
//   harness.button("BtnUpgrade")->click();
//
// Without serveManifest the bucket answers the manifest with 404, so the
// window shows its "Error" box (answered) and has no digest or version.
class WindowHarness
{
public:
    static const QString kPicturePath;
    static const QString kPicture2Path;
    static const QString kStoreUrl;

    WindowHarness();
    ~WindowHarness();
    WindowHarness(const WindowHarness &) = delete;
    WindowHarness &operator=(const WindowHarness &) = delete;

    // Aims the window at another bucket than bucket(), e.g. a bucket program's.
    void useBucket(const QString &url) { m_bucketUrl = url; }
    void serveManifest(const QByteArray &json);
    // A manifest of this program's version, firmware version "1.2" and no digest.
    void serveRelease();

    // Builds and shows the window. With waitForManifest, returns once the
    // window has handled the manifest's outcome (and any box it opened).
    MainWindow *open(bool waitForManifest = true);
    // Destroys the window, as closing it at the end of the program does.
    void close();

    MainWindow *window() const { return m_window.get(); }
    Manifest *manifest() const;
    LoopbackServer &bucket() { return m_bucket; }
    ModalBoxes &boxes() { return m_boxes; }

    QProgressBar *bar() const;
    QTextEdit *log() const;
    QPushButton *button(const char *objectName) const;
    // The log view's lines, as plain text.
    QStringList logLines() const;

    // Where the window keeps its image files.
    QString tempPath() const { return m_temp.path(); }

private:
    ModalBoxes m_boxes;
    LoopbackServer m_bucket;
    QString m_bucketUrl; // empty: m_bucket's
    QTemporaryDir m_temp;
    QTemporaryDir m_cache;
    QByteArray m_previousTmpDir;
    QByteArray m_previousCacheHome;
    std::unique_ptr<MainWindow> m_window;
};
