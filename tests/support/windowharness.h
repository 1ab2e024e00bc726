#pragma once

#include "modalboxes.h"
#include "rig.h"

#include <QUrl>

#include <memory>

class MainWindow;
class QProgressBar;
class QPushButton;

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
    // Builds and shows the window, its manifest held to the keys. With
    // waitForManifest, returns once the window has handled the manifest's
    // outcome (and any box it opened).
    MainWindow *open(bool waitForManifest = true, const QStringList &manifestKeys = {});
    // Destroys the window, as closing it at the end of the program does.
    void close();

    MainWindow *window() const { return m_window.get(); }
    // The name the window knows the bucket by.
    QString bucketHost = QStringLiteral("127.0.0.1");
    ModalBoxes &boxes() { return m_boxes; }
    QProgressBar *bar() const;
    QPushButton *button(const char *objectName) const;
    QStringList logLines() const;

private:
    ModalBoxes m_boxes;
    std::unique_ptr<MainWindow> m_window;
};
