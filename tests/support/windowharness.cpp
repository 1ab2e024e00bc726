#include "windowharness.h"

#include "app/endpoints.h"
#include "app/mainwindow.h"
#include "manifest/manifest.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextEdit>

#include <algorithm>

const QString WindowHarness::kManifestPath = QStringLiteral("/manifest.json");
const QString WindowHarness::kFirmwarePath = QStringLiteral("/Ravlo_1_2_210226.bin");
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

QByteArray WindowHarness::manifestJson(const QString &appVersion, const QString &address,
                                       const QString &firmwareVersion, const QString &sha256)
{
    const QJsonObject product{
        {"version", firmwareVersion}, {"sha256", sha256}, {"filename", "Ravlo_1_2_210226.bin"}};
    const QJsonObject manifest{{"appVersion", appVersion},
                               {"address", address},
                               {"products", QJsonObject{{"Ravlo", product}}}};
    return QJsonDocument(manifest).toJson();
}

QString WindowHarness::sha256Hex(const QByteArray &data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

void WindowHarness::serveManifest(const QByteArray &json)
{
    m_bucket.serve(kManifestPath, LoopbackReply::ok(json, "application/json"));
}

void WindowHarness::serveRelease(const QString &sha256)
{
    serveManifest(manifestJson(QStringLiteral("V1.0.0"), QString(), QStringLiteral("1.2"), sha256));
}

int WindowHarness::requestCount(const QString &path) const
{
    const QList<LoopbackRequest> requests = m_bucket.requests();
    return int(
        std::count_if(requests.begin(), requests.end(),
                      [&path](const LoopbackRequest &request) { return request.path == path; }));
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

QStringList WindowHarness::firmwareFiles() const
{
    return QDir(m_temp.path()).entryList({QStringLiteral("Ravlo_firmware_*.bin")}, QDir::Files);
}
