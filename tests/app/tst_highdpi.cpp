// The window and the instructions dialog on a desktop scaled to 150 % and
// 200 %. CTest runs this binary with QT_FONT_DPI at 144 and 192, the setting
// such a desktop reports; the program's scaling set-up has to turn that into
// a device pixel ratio of 1.5 or 2 rather than into larger fonts inside the
// unscaled fixed geometry, which cuts texts off.

#include "app/application.h"
#include "app/dialogguidance.h"
#include "app/mainwindow.h"
#include "windowharness.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QtTest>

class TestHighDpi : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void scalesAsOne_data();
    void scalesAsOne();
};

void TestHighDpi::initTestCase()
{
    setupApplication(*qApp);
    const qreal ratio = qEnvironmentVariableIntValue("QT_FONT_DPI") / 96.0;
    QVERIFY2(ratio > 1, "run with QT_FONT_DPI set as on a scaled desktop");
    QCOMPARE(qApp->devicePixelRatio(), ratio);
}

void TestHighDpi::scalesAsOne_data()
{
    QTest::addColumn<bool>("mainWindow");
    QTest::addColumn<QSize>("size");
    // The sizes on an unscaled desktop, to within 1 %; the main window's depends
    // a little on the fonts and the store's host (default build, DejaVu fonts).
    QTest::newRow("main window") << true << QSize(1388, 793);
    QTest::newRow("instructions dialog") << false << QSize(593, 490);
}

// The window keeps its logical size, and every text fits into its widget.
void TestHighDpi::scalesAsOne()
{
    QFETCH(bool, mainWindow);
    QFETCH(QSize, size);
    WindowHarness harness;
    DialogGuidance dialog;
    QWidget *window = &dialog;
    if (mainWindow) {
        harness.serveRelease();
        window = harness.open();
    } else {
        dialog.show();
    }
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QVERIFY2(qAbs(window->width() - size.width()) <= size.width() / 100 &&
                 qAbs(window->height() - size.height()) <= size.height() / 100,
             qPrintable(QStringLiteral("%1x%2").arg(window->width()).arg(window->height())));

    for (const QLabel *label : window->findChildren<QLabel *>()) {
        const QRect room = label->contentsRect();
        const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
        QVERIFY2(room.contains(label->fontMetrics().boundingRect(room, flags, label->text())),
                 qPrintable(label->objectName()));
    }
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>()) {
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) <=
                     button->contentsRect().width(),
                 qPrintable(button->objectName()));
    }
}

// The scaling has to be set up before the application object exists.
int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_highdpi.moc"
