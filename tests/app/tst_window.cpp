// The main window as the user meets it, apart from an upgrade: start-up with
// and without the tool, the update prompt, the manifest's failure box, Get
// Version, the product pictures and where the store buttons lead.

#include "app/application.h"
#include "app/mainwindow.h"
#include "connectproxy.h"
#include "dfu/dfuutilpath.h"
#include "manifest/acceptedsequence.h"
#include "windowharness.h"

#include <QBuffer>
#include <QLabel>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {
const QString kInstructions = QStringLiteral(
    "Please press and hold the \"1\" key, then turn on the power switch and wait 2-3 seconds "
    "before releasing the \"1\" key. This will bring the device to the \"DFU FW update mode\" "
    "interface. Ensure the device is connected to your PC.");

QByteArray redJpeg()
{
    QImage image(400, 400, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}
} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setupApplication(*qApp); }
    void init() { QVERIFY(ToolSlot::installExecutable()); }
    void startUp_data();
    void startUp();
    void updatePrompt_data();
    void updatePrompt();
    void getVersion_data();
    void getVersion();
    void signedManifest_data();
    void signedManifest();
    void pictures_data();
    void pictures();
    void storeLinks_data();
    void storeLinks();
    void systemProxy();
};

void TestWindow::startUp_data()
{
    QTest::addColumn<QByteArray>("tool"); // null: none
    QTest::newRow("tool ready") << QByteArray("real");
    QTest::newRow("tool missing") << QByteArray();
    QTest::newRow("tool not executable") << QByteArray(200000, 'x');
}

// A missing or broken tool, or a bucket without a manifest, each gives one
// box, and start-up goes on.
void TestWindow::startUp()
{
    QFETCH(QByteArray, tool);
    if (tool.isNull())
        QVERIFY(ToolSlot::remove());
    else if (tool != "real")
        QVERIFY(ToolSlot::installContent(tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    UrlCatcher browser;
    WindowHarness harness; // no manifest served: the bucket answers 404
    MainWindow *window = harness.open();

    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window->findChild<QLabel *>("ProductName")->text(),
             QStringLiteral("Ravlo Firmware Downloader V1.0.0"));
    QCOMPARE(harness.bar()->format(), QStringLiteral("Ready"));
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    const QStringList lines = harness.logLines();
    QCOMPARE(lines.last(), kInstructions);
    QCOMPARE(harness.boxes().titles().last(), QStringLiteral("Error"));
    QVERIFY(harness.boxes().seen().last().text.startsWith(
        "Failed to download the update information: Network error: "));
    // Nothing was taken over from a manifest: the store link stays.
    window->findChild<QToolButton *>(QStringLiteral("toolButton"))->click();
    QCOMPARE(browser.opened, QList<QUrl>{QUrl(WindowHarness::kStoreUrl)});
    if (tool == "real") {
        QCOMPARE(lines.size(), 1);
        // Disabled buttons turn grey, the style sheet's id rules notwithstanding.
        harness.button("BtnUpgrade")->setEnabled(false);
        const QImage button = harness.button("BtnUpgrade")->grab().toImage();
        QCOMPARE(button.pixelColor(button.width() / 2, 4), QColor("#a0a0a0"));
        return;
    }
    QCOMPARE(harness.boxes().titles().first(), QStringLiteral("Dependency error"));
    QVERIFY(harness.boxes().seen().first().text.endsWith(":\n" + dfuUtilPath()));
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith("[ERROR] dfu-util Verification failed: No executable dfu-util "
                              "found: " +
                              dfuUtilPath()));
}

void TestWindow::updatePrompt_data()
{
    QTest::addColumn<QString>("appVersion");
    QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: no prompt
    QTest::addColumn<QList<QUrl>>("opened");
    const QUrl page(WindowHarness::kStoreUrl + QStringLiteral("/download/ravlo-Q70"));
    QTest::newRow("newer, Yes") << "V1.0.1" << QMessageBox::Yes << QList<QUrl>{page};
    QTest::newRow("newer, No") << "v2" << QMessageBox::No << QList<QUrl>();
    QTest::newRow("equal") << "V1.0.0" << QMessageBox::NoButton << QList<QUrl>();
}

void TestWindow::updatePrompt()
{
    QFETCH(QString, appVersion);
    QFETCH(QMessageBox::StandardButton, answer);
    UrlCatcher browser;
    WindowHarness harness;
    harness.serveManifest(Release::manifestJson(appVersion, "https://shop.example.org", "1.2", ""));
    harness.boxes().answerNext(answer);
    harness.open();

    QCOMPARE(harness.boxes().count(), answer == QMessageBox::NoButton ? 0 : 1);
    if (answer != QMessageBox::NoButton) {
        const ModalBoxes::Seen box = harness.boxes().seen().first();
        QCOMPARE(box.title, QStringLiteral("New version found"));
        QCOMPARE(box.text,
                 "Detected a new version " + appVersion + "\nThe current version is V1.0.0");
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
    }
    QTEST(browser.opened, "opened");
}

void TestWindow::getVersion_data()
{
    QTest::addColumn<bool>("stalled"); // the bucket never answers
    QTest::addColumn<bool>("tool");
    QTest::addColumn<QString>("line");
    const QString latest = QStringLiteral("[INFO] The latest version is ");
    QTest::newRow("after the manifest") << false << true << latest + "1.2";
    // Also leaves the window to close with its requests still open.
    QTest::newRow("before the manifest") << true << true << latest;
    QTest::newRow("tool missing") << false << false
                                  << QStringLiteral("[ERROR] dfu-util does not exist: ") +
                                         dfuUtilPath();
}

void TestWindow::getVersion()
{
    QFETCH(bool, stalled);
    QFETCH(bool, tool);
    QVERIFY(tool || ToolSlot::remove());
    WindowHarness harness;
    harness.serveRelease();
    for (const QString &path : {Release::kManifestPath, Release::kPicturePath}) {
        if (stalled)
            harness.bucket().serve(path, LoopbackReply::ok("{").stallAfter(0));
    }
    harness.open(!stalled);
    const int linesBefore = harness.logLines().size();
    harness.button("BtnVersion")->click();
    QTRY_COMPARE(harness.logLines().size(), linesBefore + 1);
    QFETCH(QString, line);
    QVERIFY2(harness.logLines().constLast().endsWith(line), qPrintable(harness.logLines().last()));
}

void TestWindow::signedManifest_data()
{
    QTest::addColumn<QByteArray>("manifest"); // served beside the signature of the first row's
    QTest::addColumn<qint64>("seen");         // the highest sequence accepted before
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("latest"); // what Get Version says afterwards

    const QByteArray manifest = Release::manifestJson("V2.0.0", "", "1.2", "");
    const QString unverified = "The update information could not be verified: %1. No firmware is "
                               "written without verified update information.\n\nTry again "
                               "later; a mirror of the update bucket must carry the signature "
                               "(manifest.json.minisig) too.";
    QTest::newRow("signed") << manifest << qint64(5) << "New version found"
                            << "1.2";
    // Neither the prompt nor Get Version takes what the maker did not sign.
    QTest::newRow("a byte changed") << QByteArray(manifest).replace("V2.0.0", "V3.0.0") << qint64(0)
                                    << unverified.arg("its signature does not match it") << "";
    QTest::newRow("older after newer")
        << manifest << qint64(6)
        << unverified.arg("it is older than the update information already seen: sequence 5 "
                          "after 6")
        << "";
}

void TestWindow::signedManifest()
{
    QFETCH(QByteArray, manifest);
    QFETCH(qint64, seen);
    QFETCH(QString, box);
    WindowHarness harness;
    harness.serveManifest(manifest);
    harness.bucket().serve(
        Release::kSignaturePath,
        LoopbackReply::ok(TestKeys::sign(Release::manifestJson("V2.0.0", "", "1.2", ""), 5)));
    AcceptedSequence::raise(seen);
    harness.open(true, {TestKeys::maker().publicKey()});
    QCOMPARE(harness.boxes().count(), 1);
    const ModalBoxes::Seen shown = harness.boxes().seen().first();
    QCOMPARE(shown.title == "Error" ? shown.text : shown.title, box);
    const int linesBefore = harness.logLines().size();
    harness.button("BtnVersion")->click();
    QTRY_COMPARE(harness.logLines().size(), linesBefore + 1);
    QFETCH(QString, latest);
    QVERIFY(harness.logLines().constLast().endsWith("[INFO] The latest version is " + latest));
}

void TestWindow::pictures_data()
{
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<bool>("shown");
    QTest::newRow("served") << LoopbackReply::ok(redJpeg(), "image/jpeg") << true;
    QTest::newRow("an error page's picture") << LoopbackReply::status(404, redJpeg()) << false;
    QTest::newRow("not a picture")
        << LoopbackReply::ok("<html>maintenance</html>", "text/html") << false;
    // The built-in picture once the window is on screen, whatever the bucket does.
    QTest::newRow("stalled") << LoopbackReply::ok(redJpeg()).stallAfter(0) << false;
}

// A showcase picture from the bucket replaces the built-in one, an answer
// that is no picture or no 200 leaves it.
void TestWindow::pictures()
{
    QFETCH(LoopbackReply, reply);
    WindowHarness harness;
    harness.bucket().serve(Release::kPicturePath, reply);
    MainWindow *window = harness.open(false);
    QPushButton *button = harness.button("BtnPicture1");
    // Settled: the picture's answer handled (its reply gone), or never coming.
    const bool stalled = reply.ending == LoopbackReply::Ending::Stall;
    QTRY_VERIFY_WITH_TIMEOUT(!button->styleSheet().isEmpty() &&
                                 (stalled || window->findChildren<QNetworkReply *>().isEmpty()),
                             20000);
    const QImage picture = button->grab().toImage();
    const QColor middle = picture.pixelColor(picture.width() / 2, picture.height() / 2);
    QTEST(middle.red() > 200 && middle.green() < 60, "shown");
    QVERIFY(middle != window->palette().color(QPalette::Window));
}

void TestWindow::storeLinks_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("opened");
    const QString store = WindowHarness::kStoreUrl;
    QTest::newRow("https address") << "https://shop.example.org/ravlo"
                                   << "https://shop.example.org/ravlo";
    QTest::newRow("empty address") << "" << store;
    // The desktop would open a file or start a program as readily as a page.
    QTest::newRow("file address") << "file://fileserver/share/setup.exe" << store;
    QTest::newRow("other scheme") << "smb://server/share/setup.exe" << store;
}

void TestWindow::storeLinks()
{
    QFETCH(QString, address);
    QFETCH(QString, opened);
    UrlCatcher browser({"http", "https", "file", "smb"});
    WindowHarness harness;
    harness.serveManifest(Release::manifestJson("V1.0.0", address, "1.2", ""));
    MainWindow *window = harness.open();
    window->findChild<QToolButton *>(QStringLiteral("toolButton"))->click();
    harness.button("BtnPicture1")->click();
    harness.button("BtnPicture2")->click();
    // One click, one page: the set-up ran twice but left one connection each.
    QCOMPARE(browser.opened, QList<QUrl>({QUrl(opened), QUrl(opened), QUrl(opened)}));
}

// The window's requests go through the proxy the system names.
void TestWindow::systemProxy()
{
    ConnectProxy proxy;
    const QByteArray httpsProxy = qgetenv("https_proxy");
    const QByteArray noProxy = qgetenv("no_proxy");
    qputenv("https_proxy", proxy.address().toLatin1());
    qunsetenv("no_proxy");
    const auto restore = qScopeGuard([&] {
        const auto put = [](const char *name, const QByteArray &value) {
            value.isNull() ? qunsetenv(name) : qputenv(name, value);
        };
        put("https_proxy", httpsProxy);
        put("no_proxy", noProxy);
    });
    WindowHarness harness;
    harness.serveRelease();
    harness.bucketHost = ConnectProxy::kHost;
    harness.open();
    harness.button("BtnVersion")->click();
    QTRY_VERIFY(harness.logLines().constLast().endsWith("[INFO] The latest version is 1.2"));
    // The manifest and both pictures.
    const QString target =
        QStringLiteral("%1:%2").arg(ConnectProxy::kHost).arg(harness.bucket().port());
    QTRY_COMPARE(proxy.tunnels(), QVector<QString>(3, target).toList());
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
