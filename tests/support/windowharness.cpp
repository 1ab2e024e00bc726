#include "windowharness.h"

#include "app/mainwindow.h"
#include "engine/endpoints.h"
#include "manifest/manifest.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>

const QString WindowHarness::kPicturePath = QStringLiteral("/product.jpg");
const QString WindowHarness::kPicture2Path = QStringLiteral("/product2.jpg");
const QString WindowHarness::kStoreUrl = QStringLiteral("https://store.example.com");

namespace {
void restoreVariable(const char *name, const QByteArray &previous)
{
    if (previous.isNull())
        qunsetenv(name);
    else
        qputenv(name, previous);
}
} // namespace

WindowHarness::WindowHarness()
    : m_bucket(LoopbackServer::Transport::Https)
    , m_previousTmpDir(qgetenv("TMPDIR"))
    , m_previousCacheHome(qgetenv("XDG_CACHE_HOME"))
{
    // The window asks QStandardPaths for the temporary directory (the image)
    // and its cache folder (the pictures), which read these on every call.
    qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    qputenv("XDG_CACHE_HOME", m_cache.path().toLocal8Bit());
}

WindowHarness::~WindowHarness()
{
    close();
    restoreVariable("TMPDIR", m_previousTmpDir);
    restoreVariable("XDG_CACHE_HOME", m_previousCacheHome);
}

void WindowHarness::serveManifest(const QByteArray &json)
{
    m_bucket.serve(Release::kManifestPath, LoopbackReply::ok(json, "application/json"));
}

void WindowHarness::serveRelease()
{
    serveManifest(Release::manifestJson(QStringLiteral("V1.0.0"), QString(), QStringLiteral("1.2"),
                                        QString()));
}

MainWindow *WindowHarness::open(bool waitForManifest)
{
    close();
    m_window = std::make_unique<MainWindow>(
        Endpoints{m_bucketUrl.isEmpty() ? m_bucket.url() : m_bucketUrl, kStoreUrl});
    if (waitForManifest) {
        // Connected after the window's own slot, so once this spy has seen
        // the signal the window has handled it.
        QSignalSpy outcome(manifest(), &Manifest::manifestDownloaded);
        if (outcome.isEmpty() && !outcome.wait(10000))
            qWarning("WindowHarness: the manifest's outcome did not arrive");
    }
    m_window->show();
    return m_window.get();
}

void WindowHarness::close()
{
    m_window.reset();
}

Manifest *WindowHarness::manifest() const
{
    return m_window->findChild<Manifest *>();
}

QProgressBar *WindowHarness::bar() const
{
    return m_window->findChild<QProgressBar *>(QStringLiteral("BurningProgress"));
}

QTextEdit *WindowHarness::log() const
{
    return m_window->findChild<QTextEdit *>(QStringLiteral("LogEdit"));
}

QPushButton *WindowHarness::button(const char *objectName) const
{
    return m_window->findChild<QPushButton *>(QString::fromLatin1(objectName));
}

QStringList WindowHarness::logLines() const
{
    return log()->toPlainText().split(QLatin1Char('\n'));
}
