#include "app/dialogguidance.h"

#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

class TestDialogGuidance : public QObject
{
    Q_OBJECT
private slots:
    void window();
    void partSizes_data();
    void partSizes();
    void closes_data();
    void closes();
};

void TestDialogGuidance::window()
{
    DialogGuidance dialog;
    QCOMPARE(dialog.windowTitle(), QString("Upgrade Instructions"));
    QCOMPARE(dialog.findChild<QLabel *>("guidance_title")->text(), QString("Upgrade Instructions"));
    QCOMPARE(dialog.windowType(), Qt::Dialog);
    QVERIFY(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(dialog.size(), QSize(593, 490));
}

void TestDialogGuidance::partSizes_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    QTest::newRow("title strip") << "guidance_top_widget" << QSize(0, 40) << QSize(16777215, 40);
    // The form sets the maximum after the minimum, so the minimum width stays.
    QTest::newRow("picture") << "guidance_widget" << QSize(593, 450) << QSize(450, 16777215);
    QTest::newRow("close button") << "guidance_close_tb" << QSize(25, 25)
                                  << QSize(16777215, 16777215);
}

void TestDialogGuidance::partSizes()
{
    QFETCH(QString, name);
    DialogGuidance dialog;
    const auto *part = dialog.findChild<QWidget *>(name);
    QVERIFY(part);
    QTEST(part->minimumSize(), "minimum");
    QTEST(part->maximumSize(), "maximum");
}

void TestDialogGuidance::closes_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("close button") << true;
    QTest::newRow("escape key") << false;
}

void TestDialogGuidance::closes()
{
    QFETCH(bool, byButton);
    DialogGuidance dialog;
    QTimer::singleShot(0, &dialog, [&dialog, byButton] {
        if (byButton)
            dialog.findChild<QToolButton *>("guidance_close_tb")->click();
        else
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

QTEST_MAIN(TestDialogGuidance)
#include "tst_dialogguidance.moc"
