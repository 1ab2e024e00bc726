// The main window as the user meets it, apart from an upgrade: start-up with
// and without the tool, the title bar and its help dialog, the update prompt,
// the manifest's failure box, Get Version, the product pictures and where the
// store buttons lead.

#include "app/application.h"
#include "app/dialogguidance.h"
#include "app/mainwindow.h"
#include "dfu/dfuutilpath.h"
#include "urlcatcher.h"
#include "rig.h"

#include <QBuffer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

const QString kInstructions = QStringLiteral(
    "Please press and hold the \"1\" key, then turn on the power switch and wait 2-3 seconds "
    "before releasing the \"1\" key. This will bring the device to the \"DFU FW update mode\" "
    "interface. Ensure the device is connected to your PC.");

QByteArray solidJpeg(const QColor &colour)
{
    QImage image(1000, 1000, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

QColor centre(QWidget *widget, int y = -1)
{
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() / 2, y < 0 ? image.height() / 2 : y);
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void startUp_data();
    void startUp();
    void titleBarAndHelp();
    void updatePrompt_data();
    void updatePrompt();
    void manifestFailure();
    void getVersion_data();
    void getVersion();
    void pictures_data();
    void pictures();
    void storeLinks_data();
    void storeLinks();
};

void TestWindow::initTestCase()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
}

void TestWindow::init()
{
    QVERIFY(ToolSlot::installExecutable());
}

void TestWindow::startUp_data()
{
    QTest::addColumn<QByteArray>("tool"); // null: none
    QTest::newRow("tool ready") << QByteArray("real");
    QTest::newRow("tool missing") << QByteArray();
    QTest::newRow("tool not executable") << QByteArray(200000, 'x');
}

void TestWindow::startUp()
{
    QFETCH(QByteArray, tool);
    if (tool.isNull())
        QVERIFY(ToolSlot::remove());
    else if (tool != "real")
        QVERIFY(ToolSlot::installContent(tool, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    WindowHarness harness;
    harness.serveRelease();
    MainWindow *window = harness.open();

    const QString host = QUrl(WindowHarness::kStoreUrl).host();
    QCOMPARE(window->windowTitle(), QStringLiteral("Ravlo"));
    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window->findChild<QLabel *>("ProductName")->text(),
             QStringLiteral("Ravlo Firmware Downloader V1.0.0"));
    QCOMPARE(window->findChild<QToolButton *>("toolButton")->text(), "Popular on " + host);
    QCOMPARE(harness.bar()->format(), QStringLiteral("Ready"));
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    if (tool == "real") {
        // The tool's check goes to the debug output: the view holds the
        // white instructions line alone.
        QCOMPARE(harness.logLines(), QStringList{kInstructions});
        QCOMPARE(harness.boxes().titles(), QStringList());
        return;
    }
    // A critical box inside the constructor, then start-up goes on.
    QCOMPARE(harness.boxes().titles(), QStringList{"Dependency error"});
    QVERIFY(harness.boxes().seen().first().text.endsWith(":\n" + dfuUtilPath()));
    QCOMPARE(harness.bucket().requestCount(Release::kManifestPath), 1);
    const QStringList lines = harness.logLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith("[ERROR] dfu-util Verification failed: No executable dfu-util "
                              "found: " +
                              dfuUtilPath()));
    QCOMPARE(lines[1], kInstructions);
}

void TestWindow::titleBarAndHelp()
{
    WindowHarness harness;
    harness.serveRelease();
    MainWindow *window = harness.open();
    // Every picture the style sheet names is there.
    const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    for (auto it = url.globalMatch(qApp->styleSheet()); it.hasNext();) {
        const QString path = it.next().captured(1);
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }
    // Disabled buttons turn grey, the id rules notwithstanding.
    for (const char *name : {"BtnVersion", "BtnUpgrade"}) {
        QPushButton *button = harness.button(name);
        button->setEnabled(false);
        QCOMPARE(centre(button, 4), QColor("#a0a0a0"));
        button->setEnabled(true);
    }
    // A fresh dialog each time, closed by its button or by Escape.
    harness.button("BtnGuidance")->click();
    harness.button("BtnGuidance")->click();
    QCOMPARE(harness.boxes().titles(),
             (QStringList{"Upgrade Instructions", "Upgrade Instructions"}));
    DialogGuidance dialog;
    QTimer::singleShot(0, &dialog, [&dialog] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));

    harness.button("BtnMinimize")->click();
    QTRY_VERIFY(window->isMinimized());
    window->showNormal();
    harness.button("BtnClose")->click();
    QTRY_VERIFY(!window->isVisible());
}

void TestWindow::updatePrompt_data()
{
    QTest::addColumn<QString>("appVersion");
    QTest::addColumn<QMessageBox::StandardButton>("answer"); // NoButton: no prompt
    QTest::addColumn<QStringList>("opened");
    const QString page = WindowHarness::kStoreUrl + QStringLiteral("/download/ravlo-Q70");
    QTest::newRow("newer, Yes") << "V1.0.1" << QMessageBox::Yes << QStringList{page};
    QTest::newRow("newer, No") << "v2" << QMessageBox::No << QStringList();
    QTest::newRow("equal") << "V1.0.0" << QMessageBox::NoButton << QStringList();
}

void TestWindow::updatePrompt()
{
    QFETCH(QString, appVersion);
    QFETCH(QMessageBox::StandardButton, answer);
    UrlCatcher browser;
    WindowHarness harness;
    harness.serveManifest(Release::manifestJson(appVersion, "https://shop.example.org", "1.2", ""));
    if (answer != QMessageBox::NoButton)
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
    QStringList opened;
    for (const QUrl &url : browser.opened())
        opened << url.toString();
    QTEST(opened, "opened");
}

void TestWindow::manifestFailure()
{
    UrlCatcher browser;
    WindowHarness harness; // no manifest served: the bucket answers 404
    MainWindow *window = harness.open();
    QCOMPARE(harness.boxes().titles(), QStringList{"Error"});
    const QString text = harness.boxes().seen().first().text;
    QVERIFY2(text.startsWith("Failed to download the update information: Network error: "),
             qPrintable(text));
    // Nothing was taken over: the store link stays.
    window->findChild<QToolButton *>(QStringLiteral("toolButton"))->click();
    QCOMPARE(browser.opened(), QList<QUrl>{QUrl(WindowHarness::kStoreUrl)});
}

void TestWindow::getVersion_data()
{
    QTest::addColumn<bool>("manifest");
    QTest::addColumn<bool>("stalled"); // the bucket never answers
    QTest::addColumn<bool>("tool");
    QTest::addColumn<QString>("line");
    QTest::newRow("after the manifest")
        << true << false << true << QStringLiteral("[INFO] The latest version is 1.2");
    QTest::newRow("before the manifest")
        << true << true << true << QStringLiteral("[INFO] The latest version is ");
    QTest::newRow("manifest failed")
        << false << false << true << QStringLiteral("[INFO] The latest version is ");
    QTest::newRow("tool missing") << true << false << false
                                  << QStringLiteral("[ERROR] dfu-util does not exist: ") +
                                         dfuUtilPath();
}

void TestWindow::getVersion()
{
    QFETCH(bool, manifest);
    QFETCH(bool, stalled);
    QFETCH(QString, line);
    QFETCH(bool, tool);
    if (!tool)
        QVERIFY(ToolSlot::remove());
    WindowHarness harness;
    if (manifest)
        harness.serveRelease();
    // Also leaves the window to close with its requests still open.
    for (const QString &path :
         {Release::kManifestPath, WindowHarness::kPicturePath, WindowHarness::kPicture2Path}) {
        if (stalled)
            harness.bucket().serve(path, LoopbackReply::ok("{").stallAfter(0));
    }
    harness.open(!stalled);
    const int linesBefore = harness.logLines().size();
    harness.button("BtnVersion")->click();
    QTRY_COMPARE(harness.logLines().size(), linesBefore + 1);
    QVERIFY2(harness.logLines().constLast().endsWith(line), qPrintable(harness.logLines().last()));
}

void TestWindow::pictures_data()
{
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<bool>("blocked"); // the cache folder cannot hold the copies
    QTest::addColumn<bool>("downloaded");
    const LoopbackReply red = LoopbackReply::ok(solidJpeg(QColor(200, 40, 40)), "image/jpeg");
    QTest::newRow("served") << red << false << true;
    QTest::newRow("not found") << LoopbackReply::status(404) << false << false;
    QTest::newRow("not a picture")
        << LoopbackReply::ok("<html>maintenance</html>", "text/html") << false << false;
    QTest::newRow("cache folder not writable") << red << true << false;
}

void TestWindow::pictures()
{
    QFETCH(LoopbackReply, reply);
    QFETCH(bool, blocked);
    QFETCH(bool, downloaded);
    WindowHarness harness;
    harness.bucket().serve(WindowHarness::kPicturePath, reply);
    harness.bucket().serve(WindowHarness::kPicture2Path, reply);
    const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    if (blocked)
        QVERIFY(cache.mkpath("product.jpg") && cache.mkpath("product2.jpg"));
    harness.open(false);

    for (const char *name : {"BtnPicture1", "BtnPicture2"}) {
        QPushButton *button = harness.button(name);
        const QImage builtIn = button->grab().toImage();
        QTRY_VERIFY_WITH_TIMEOUT(!button->styleSheet().isEmpty(), 20000);
        const QColor shown = centre(button);
        QCOMPARE(qAbs(shown.red() - 200) <= 8 && qAbs(shown.blue() - 40) <= 8, downloaded);
        if (!downloaded)
            QCOMPARE(button->grab().toImage(), builtIn);
    }
    QCOMPARE(QFile::exists(cache.filePath("product.jpg")) && !blocked, downloaded);
}

void TestWindow::storeLinks_data()
{
    QTest::addColumn<QString>("address"); // null: no manifest at all
    QTest::addColumn<QString>("opened");
    const QString store = WindowHarness::kStoreUrl;
    QTest::newRow("https address") << "https://shop.example.org/ravlo"
                                   << "https://shop.example.org/ravlo";
    QTest::newRow("empty address") << "" << store;
    QTest::newRow("no manifest") << QString() << store;
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
    if (!address.isNull())
        harness.serveManifest(Release::manifestJson("V1.0.0", address, "1.2", ""));
    MainWindow *window = harness.open();
    auto *toolButton = window->findChild<QToolButton *>(QStringLiteral("toolButton"));
    for (QAbstractButton *button : {static_cast<QAbstractButton *>(toolButton),
                                    static_cast<QAbstractButton *>(harness.button("BtnPicture1")),
                                    static_cast<QAbstractButton *>(harness.button("BtnPicture2"))})
        button->click();
    // One click, one page: the set-up ran twice but left one connection each.
    QCOMPARE(browser.opened(), QList<QUrl>({QUrl(opened), QUrl(opened), QUrl(opened)}));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
