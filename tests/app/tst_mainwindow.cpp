// The main window as it starts: its look, its first log line, the check for
// dfu-util beside the program, the title-bar buttons and its slot table.

#include "app/application.h"
#include "app/mainwindow.h"
#include "dfu/dfuutilpath.h"
#include "toolslot.h"
#include "windowharness.h"

#include <QLabel>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QToolButton>
#include <QtTest>

namespace {
const QString kInstructions = QStringLiteral(
    "Please press and hold the \"1\" key, then turn on the power switch and wait 2-3 seconds "
    "before releasing the \"1\" key. This will bring the device to the \"DFU FW update mode\" "
    "interface. Ensure the device is connected to your PC.");

QColor centrePixel(QWidget *widget)
{
    const QImage image = widget->grab().toImage();
    return image.pixelColor(image.width() / 2, 4);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void startUpState();
    void missingTool_data();
    void missingTool();
    void slotTable();
    void guidanceOpensFreshDialogs();
    void titleBarButtons();
    void disabledButtonsTurnGrey();
};

void TestMainWindow::initTestCase()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
}

void TestMainWindow::init()
{
    QVERIFY(ToolSlot::installRealTool());
}

void TestMainWindow::startUpState()
{
    WindowHarness harness;
    harness.serveRelease();
    MainWindow *window = harness.open();

    QCOMPARE(window->windowTitle(), QStringLiteral("Ravlo"));
    QVERIFY(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(window->isWindow());
    const QString host = QUrl(WindowHarness::kStoreUrl).host();
    QCOMPARE(window->findChild<QLabel *>("ProductName")->text(),
             QStringLiteral("Ravlo Firmware Downloader V1.0.0"));
    QCOMPARE(window->findChild<QLabel *>("SupplierId")->text(), host);
    QCOMPARE(window->findChild<QToolButton *>("toolButton")->text(), "Popular on " + host);
    QVERIFY(window->findChild<QLabel *>("Product")->text().startsWith(
        host + " is the official online store"));
    QVERIFY(
        window->findChild<QLabel *>("Product")->text().contains(QStringLiteral("Ravlo\u2011Q70")));

    QCOMPARE(harness.bar()->value(), 0);
    QCOMPARE(harness.bar()->format(), QStringLiteral("Ready"));
    QCOMPARE(harness.bar()->maximum(), 100);
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    QVERIFY(harness.button("BtnVersion")->isEnabled());

    // The ready message goes to the debug output only: the view holds just
    // the white instructions line, which carries no time stamp.
    QCOMPARE(harness.logLines(), QStringList{kInstructions});
    QVERIFY(harness.log()->toHtml().contains("#ffffff"));
    QVERIFY(harness.log()->isReadOnly());
    QCOMPARE(harness.log()->height(), 300);
    QVERIFY(harness.boxes().titles().isEmpty());
}

void TestMainWindow::missingTool_data()
{
    QTest::addColumn<bool>("present");
    QTest::newRow("missing") << false;
    QTest::newRow("not executable") << true;
}

void TestMainWindow::missingTool()
{
    QFETCH(bool, present);
    if (present)
        QVERIFY(ToolSlot::installContent(QByteArray(200000, 'x'),
                                         QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    else
        QVERIFY(ToolSlot::remove());

    WindowHarness harness;
    harness.serveRelease();
    MainWindow *window = harness.open(false);
    // The box was answered inside the constructor, before the window showed.
    const QString path = dfuUtilPath();
    QCOMPARE(harness.boxes().count(), 1);
    const ModalBoxes::Seen box = harness.boxes().seen().first();
    QCOMPARE(box.title, QStringLiteral("Dependency error"));
    QCOMPARE(box.text, "dfu-util not found or unavailable\nPlease ensure that the executable "
                       "file exists at the following path:\n" +
                           path);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

    // Start-up went on: the manifest is asked for, the window opens with
    // its buttons enabled, and the log shows the error before the instructions.
    QTRY_COMPARE(harness.bucket().requestCount(Release::kManifestPath), 1);
    QVERIFY(window->isVisible());
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    const QStringList lines = harness.logLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].contains(QRegularExpression(
        "^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\] \\[ERROR\\] ")));
    QVERIFY(
        lines[0].endsWith("dfu-util Verification failed: No executable dfu-util found: " + path));
    QCOMPARE(lines[1], kInstructions);
}

void TestMainWindow::slotTable()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList signatures;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Slot)
            signatures << QString::fromLatin1(method.methodSignature());
        QCOMPARE(method.methodType(), QMetaMethod::Slot); // the window declares no signals
        QCOMPARE(method.access(), QMetaMethod::Private);
    }
    const QStringList expected = {"VersionButtonClicked()",
                                  "UpgradeButtonClicked()",
                                  "setupToolButtonLink()",
                                  "setupBtnPictureLink()",
                                  "checkVersionUpdate(QString)",
                                  "compareVersions(QString,QString)",
                                  "downloadProductImage()",
                                  "downloadProductImage2()",
                                  "onManifestDownloaded(bool,QString)",
                                  "onBtnGuidance()"};
    QCOMPARE(signatures, expected);

    WindowHarness harness;
    harness.open();
    for (const char *name : {"QNetworkReply*", "QProcess::ExitStatus", "QProcess::ProcessError"})
        QVERIFY2(QMetaType::type(name) != QMetaType::UnknownType, name);
}

void TestMainWindow::guidanceOpensFreshDialogs()
{
    WindowHarness harness;
    harness.serveRelease();
    harness.open();
    harness.button("BtnGuidance")->click();
    harness.button("BtnGuidance")->click();
    QCOMPARE(harness.boxes().count(), 2);
    for (const ModalBoxes::Seen &seen : harness.boxes().seen()) {
        QCOMPARE(seen.className, QStringLiteral("DialogGuidance"));
        QCOMPARE(seen.title, QStringLiteral("Upgrade Instructions"));
    }
}

void TestMainWindow::titleBarButtons()
{
    WindowHarness harness;
    harness.serveRelease();
    MainWindow *window = harness.open();
    harness.button("BtnMinimize")->click();
    QTRY_VERIFY(window->isMinimized());
    window->showNormal();
    harness.button("BtnClose")->click();
    QTRY_VERIFY(!window->isVisible());
}

void TestMainWindow::disabledButtonsTurnGrey()
{
    WindowHarness harness;
    harness.serveRelease();
    harness.open();
    for (const char *name : {"BtnVersion", "BtnUpgrade"}) {
        QPushButton *button = harness.button(name);
        QVERIFY(centrePixel(button) != QColor("#a0a0a0"));
        button->setEnabled(false);
        QCOMPARE(centrePixel(button), QColor("#a0a0a0"));
        QVERIFY(button->width() >= 250 && button->height() >= 60);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
