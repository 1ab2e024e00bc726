#include "windowharness.h"

#include "app/mainwindow.h"
#include "manifest/manifest.h"

#include <QDesktopServices>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>

UrlCatcher::UrlCatcher(const QStringList &schemes)
    : m_schemes(schemes)
{
    for (const QString &scheme : m_schemes)
        QDesktopServices::setUrlHandler(scheme, this, "open");
}

UrlCatcher::~UrlCatcher()
{
    for (const QString &scheme : m_schemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

const QString WindowHarness::kStoreUrl = QStringLiteral("https://store.example.com");

WindowHarness::~WindowHarness()
{
    close();
}

void WindowHarness::serveManifest(const QByteArray &json)
{
    bucket().serve(Release::kManifestPath, LoopbackReply::ok(json, "application/json"));
}

void WindowHarness::serveRelease()
{
    serveManifest(Release::manifestJson("V1.0.0", QString(), "1.2", QString()));
}

MainWindow *WindowHarness::open(bool waitForManifest, const QStringList &manifestKeys)
{
    close();
    m_window = std::make_unique<MainWindow>(
        Endpoints{bucket().url(QString(), bucketHost), kStoreUrl, manifestKeys});
    if (waitForManifest) {
        // Connected after the window's own slot: once it has seen the
        // signal, the window has handled it.
        QSignalSpy outcome(m_window->findChild<Manifest *>(), &Manifest::manifestDownloaded);
        if (!outcome.wait(10000))
            qWarning("WindowHarness: the manifest's outcome did not arrive");
    }
    m_window->show();
    return m_window.get();
}

void WindowHarness::close()
{
    m_window.reset();
}

QProgressBar *WindowHarness::bar() const
{
    return m_window->findChild<QProgressBar *>(QStringLiteral("BurningProgress"));
}

QPushButton *WindowHarness::button(const char *objectName) const
{
    return m_window->findChild<QPushButton *>(QString::fromLatin1(objectName));
}

QStringList WindowHarness::logLines() const
{
    return m_window->findChild<QTextEdit *>(QStringLiteral("LogEdit"))->toPlainText().split('\n');
}
