#include <QtTest>

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>

// The compiled-in pictures and the Windows icon: formats, sizes and
// transparency as the style sheet and the window expect them.
class TestResources : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pictures_data();
    void pictures();
    void styleSheetPicturesExist();
    void windowsIcon();
};

void TestResources::initTestCase()
{
    Q_INIT_RESOURCE(resources);
}

void TestResources::pictures_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("transparentCorners");

    QTest::newRow("close") << ":/picture/close_icon.png" << QByteArray("png") << QSize(32, 32) << true;
    QTest::newRow("close @2x") << ":/picture/close_icon@2x.png" << QByteArray("png")
                               << QSize(64, 64) << true;
    QTest::newRow("minimize") << ":/picture/minimize_icon.png" << QByteArray("png") << QSize(32, 32)
                              << true;
    QTest::newRow("minimize @2x") << ":/picture/minimize_icon@2x.png" << QByteArray("png")
                                  << QSize(64, 64) << true;
    QTest::newRow("help") << ":/picture/wenhao.svg" << QByteArray("svg") << QSize(32, 32) << true;
    QTest::newRow("guidance") << ":/picture/guidance.png" << QByteArray("png") << QSize(593, 450)
                              << false;
    QTest::newRow("guidance @2x") << ":/picture/guidance@2x.png" << QByteArray("png")
                                  << QSize(1186, 900) << false;
    QTest::newRow("Q70") << ":/picture/Q70.jpg" << QByteArray("jpeg") << QSize(1000, 1000) << false;
    QTest::newRow("Q75") << ":/picture/Q75.jpg" << QByteArray("jpeg") << QSize(1000, 1000) << false;
}

void TestResources::pictures()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QFETCH(bool, transparentCorners);

    QImageReader reader(path);
    QTEST(reader.format(), "format");
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);

    const QPoint corners[] = {{0, 0}, {size.width() - 1, 0}, {0, size.height() - 1},
                              {size.width() - 1, size.height() - 1}};
    for (const QPoint &corner : corners)
        QCOMPARE(qAlpha(image.pixel(corner)) == 0, transparentCorners);
    // An icon that is transparent at the corners still has to draw something.
    QCOMPARE(qAlpha(image.pixel(size.width() / 2, size.height() / 2)) > 0, true);
}

void TestResources::styleSheetPicturesExist()
{
    QFile sheet(QStringLiteral(":/Styles/MainWindow.qss"));
    QVERIFY(sheet.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(sheet.readAll());

    const QRegularExpression url(QStringLiteral("url\\((:/[^)]+)\\)"));
    int count = 0;
    for (auto it = url.globalMatch(text); it.hasNext(); ++count) {
        const QString path = it.next().captured(1);
        QVERIFY2(!QImage(path).isNull(), qPrintable(path));
    }
    QCOMPARE(count, 6);
}

void TestResources::windowsIcon()
{
    QImageReader reader(QStringLiteral(RAVLO_RESOURCES_DIR "/app.ico"));
    QCOMPARE(reader.format(), QByteArray("ico"));
    QCOMPARE(reader.imageCount(), 6);

    QSet<int> sizes;
    for (int i = 0; i < reader.imageCount(); ++i) {
        QVERIFY(reader.jumpToImage(i));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.width(), image.height());
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        sizes.insert(image.width());
    }
    QCOMPARE(sizes, (QSet<int>{256, 128, 64, 48, 32, 16}));
}

QTEST_GUILESS_MAIN(TestResources)
#include "tst_resources.moc"
