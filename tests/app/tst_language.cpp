// The window speaks the system locale's language and no other. CTest runs
// this binary under a Chinese, an English and a German locale (LOCALES in
// tests/CMakeLists.txt). A window without dfu-util whose bucket answers 404,
// and an upgrade that then fails, put most kinds of text on the screen: the
// form, the boxes, the bar, the engine's and the diagnosis's log lines.

#include "app/application.h"
#include "app/mainwindow.h"
#include "windowharness.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResource>
#include <QtTest>

namespace {
// Chinese characters, and the punctuation and full-width forms that go with them.
bool hasCjk(const QString &text)
{
    return text.contains(
        QRegularExpression(QStringLiteral("[\\x{3000}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]")));
}
} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void shownTexts_data();
    void shownTexts();
    void instructionsPicture();

private:
    const bool m_chinese = qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("zh"));
    WindowHarness m_harness;
};

void TestLanguage::initTestCase()
{
    setupApplication(*qApp);
    QVERIFY(ToolSlot::remove());
    m_harness.open();
    m_harness.button("BtnUpgrade")->click();
    // Dependency error, manifest failure, the failed upgrade.
    QTRY_COMPARE(m_harness.boxes().count(), 3);
}

void TestLanguage::shownTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("chinese"); // a piece of it under zh_CN

    const QList<ModalBoxes::Seen> boxes = m_harness.boxes().seen();
    const QStringList pieces = {"依赖错误", "找不到 dfu-util",
                                "错误",     "下载manifest失败: 网络错误: ",
                                "升级失败", "未找到用于写入固件的工具"};
    for (int i = 0; i < boxes.size(); ++i) {
        QTest::addRow("box %d title", i) << boxes[i].title << pieces[2 * i];
        QTest::addRow("box %d text", i) << boxes[i].text << pieces[2 * i + 1];
    }
    QTest::newRow("bar") << m_harness.bar()->format() << "升级失败";
    QTest::newRow("Upgrade") << m_harness.button("BtnUpgrade")->text() << "升级";
    QTest::newRow("store") << m_harness.window()->findChild<QLabel *>("Product")->text()
                           << "官方网上商店";
    const QStringList lines = m_harness.logLines();
    for (int i = 0; i < lines.size(); ++i)
        QTest::addRow("log line %d", i) << lines[i] << QString();
}

void TestLanguage::shownTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, chinese);
    QVERIFY2(hasCjk(text) == m_chinese, qPrintable(text));
    QVERIFY2(!m_chinese || text.contains(chinese), qPrintable(text));
}

void TestLanguage::instructionsPicture()
{
    const QString picture = QStringLiteral(":/picture/guidance.png");
    QCOMPARE(QResource(picture).data() != QResource(picture, QLocale::c()).data(), m_chinese);
}

QTEST_MAIN(TestLanguage)
#include "tst_language.moc"
