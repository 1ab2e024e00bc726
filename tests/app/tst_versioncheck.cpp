// What the window takes from the manifest: the update prompt and the store's
// download page, the box of a failed manifest download, and the Get Version
// button.

#include "app/application.h"
#include "app/mainwindow.h"
#include "dfu/dfuutilpath.h"
#include "toolslot.h"
#include "urlcatcher.h"
#include "windowharness.h"

#include <QPushButton>
#include <QToolButton>
#include <QtTest>

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {
const QString kShop = QStringLiteral("https://shop.example.org");
} // namespace

class TestVersionCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void updatePrompt_data();
    void updatePrompt();
    void manifestFailure();
    void getVersion_data();
    void getVersion();
};

void TestVersionCheck::initTestCase()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
}

void TestVersionCheck::init()
{
    QVERIFY(ToolSlot::installRealTool());
}

void TestVersionCheck::updatePrompt_data()
{
    QTest::addColumn<QString>("appVersion");
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("prompted");
    QTest::addColumn<QStringList>("opened");

    const QString downloadPage = WindowHarness::kStoreUrl + QStringLiteral("/download/ravlo-Q70");
    QTest::newRow("newer, Yes") << "V1.0.1" << QMessageBox::Yes << true
                                << QStringList{downloadPage};
    QTest::newRow("newer, No") << "v2" << QMessageBox::No << true << QStringList();
    QTest::newRow("equal") << "V1.0.0" << QMessageBox::NoButton << false << QStringList();
}

void TestVersionCheck::updatePrompt()
{
    QFETCH(QString, appVersion);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, prompted);
    QFETCH(QStringList, opened);

    UrlCatcher browser;
    WindowHarness harness;
    harness.serveManifest(Release::manifestJson(appVersion, kShop, "1.2", ""));
    if (prompted)
        harness.boxes().answerNext(answer);
    harness.open();

    if (prompted) {
        QCOMPARE(harness.boxes().count(), 1);
        const ModalBoxes::Seen box = harness.boxes().seen().first();
        QCOMPARE(box.title, QStringLiteral("New version found"));
        QCOMPARE(box.text,
                 "Detected a new version " + appVersion + "\nThe current version is V1.0.0");
        QCOMPARE(box.informativeText,
                 QStringLiteral("Do you want to go to the official website "
                                "immediately to download the latest version?"));
        QCOMPARE(box.icon, QMessageBox::Question);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No));
        QCOMPARE(box.defaultButton, QMessageBox::Yes);
    } else {
        QCOMPARE(harness.boxes().count(), 0);
    }
    QStringList seenOpened;
    for (const QUrl &url : browser.opened())
        seenOpened << url.toString();
    QCOMPARE(seenOpened, opened);
}

void TestVersionCheck::manifestFailure()
{
    UrlCatcher browser;
    WindowHarness harness; // no manifest served: the bucket answers 404
    MainWindow *window = harness.open();

    QCOMPARE(harness.boxes().count(), 1);
    const ModalBoxes::Seen box = harness.boxes().seen().first();
    QCOMPARE(box.title, QStringLiteral("Error"));
    QVERIFY2(box.text.startsWith("Failed to download the update information: Network error: Error "
                                 "transferring " +
                                 harness.bucket().url(Release::kManifestPath)),
             qPrintable(box.text));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // Nothing was taken over: the store link stays.
    window->findChild<QToolButton *>(QStringLiteral("toolButton"))->click();
    QCOMPARE(browser.opened(), QList<QUrl>{QUrl(WindowHarness::kStoreUrl)});
}

void TestVersionCheck::getVersion_data()
{
    QTest::addColumn<QByteArray>("manifest"); // empty: none served
    QTest::addColumn<bool>("stalled");        // the bucket never answers
    QTest::addColumn<bool>("tool");
    QTest::addColumn<QString>("line");

    const QByteArray manifest = Release::manifestJson("V1.0.0", "", "1.2", "");
    QTest::newRow("after the manifest")
        << manifest << false << true << QStringLiteral("[INFO] The latest version is 1.2");
    QTest::newRow("before the manifest")
        << manifest << true << true << QStringLiteral("[INFO] The latest version is ");
    QTest::newRow("manifest failed")
        << QByteArray() << false << true << QStringLiteral("[INFO] The latest version is ");
    QTest::newRow("tool missing") << manifest << false << false
                                  << QStringLiteral("[ERROR] dfu-util does not exist: ") +
                                         dfuUtilPath();
}

void TestVersionCheck::getVersion()
{
    QFETCH(QByteArray, manifest);
    QFETCH(bool, stalled);
    QFETCH(bool, tool);
    QFETCH(QString, line);

    if (!tool)
        QVERIFY(ToolSlot::remove());
    WindowHarness harness;
    if (!manifest.isEmpty())
        harness.serveManifest(manifest);
    if (stalled) {
        // Also leaves the window to close with its requests still open.
        for (const QString &path :
             {Release::kManifestPath, WindowHarness::kPicturePath, WindowHarness::kPicture2Path})
            harness.bucket().serve(path, LoopbackReply::ok(manifest).stallAfter(0));
    }
    harness.open(!stalled);
    const int linesBefore = harness.logLines().size();

    harness.button("BtnVersion")->click();
    QTRY_COMPARE(harness.logLines().size(), linesBefore + 1);
    QVERIFY2(harness.logLines().constLast().endsWith(line), qPrintable(harness.logLines().last()));
}

QTEST_MAIN(TestVersionCheck)
#include "tst_versioncheck.moc"
