// The demo's pieces (scripts/demo.sh) in one good upgrade: a window aimed at
// the demo bucket program, flashing through the demo build's dfu-util
// wrapper onto the simulated device.

#include "app/application.h"
#include "app/mainwindow.h"
#include "demorelease.h"
#include "dfusim.h"
#include "rig.h"

#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void upgrade();
};

void TestDemo::upgrade()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
    QVERIFY(ToolSlot::installExecutable(QStringLiteral(RAVLO_DEMO_DFU_UTIL)));
    // The scenario as the demo script sets it; the wrapper adds the simulator.
    QTemporaryDir flash;
    qputenv("RAVLO_DFUSIM_DEVICES", "0483:df11");
    qputenv("RAVLO_DFUSIM_FLASH_DIR", QFile::encodeName(flash.path()));

    QProcess bucket;
    bucket.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bucket.start(QStringLiteral(RAVLO_DEMO_BUCKET), {QStringLiteral("0")});
    QTRY_VERIFY_WITH_TIMEOUT(bucket.canReadLine(), 10000);
    WindowHarness harness;
    harness.useBucket(QString::fromLatin1(bucket.readLine()).trimmed());
    MainWindow *window = harness.open();
    window->findChild<UpgradeEngine *>()->setLimits(testLimits());

    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!harness.boxes().titles().isEmpty() ||
                                 harness.bar()->format() == QLatin1String("Upgrade failed"),
                             30000);
    QCOMPARE(harness.boxes().titles(), QStringList{"Upgrade Successful"});
    const QByteArray image = DemoRelease::image();
    QCOMPARE(DfuSimScenario(flash.path()).flash().left(image.size()), image);
    bucket.kill();
    bucket.waitForFinished();
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
