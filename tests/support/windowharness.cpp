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

WindowHarness::WindowHarness()
    : m_bucket(LoopbackServer::Transport::Https)
    , m_previousTmpDir(qgetenv("TMPDIR"))
    , m_previousWorkingDir(QDir::currentPath())
{
    // The window asks QStandardPaths for the temporary directory, which reads
    // TMPDIR on every call; the pictures go to the working directory.
    qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    QDir::setCurrent(m_work.path());
}

WindowHarness::~WindowHarness()
{
    close();
    QDir::setCurrent(m_previousWorkingDir);
    if (m_previousTmpDir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", m_previousTmpDir);
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
    m_window = std::make_unique<MainWindow>(Endpoints{m_bucket.url(), kStoreUrl});
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
