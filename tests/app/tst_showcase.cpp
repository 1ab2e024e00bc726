// The showcase panel: the product pictures with their built-in fallbacks, and
// where the three store buttons lead.

#include "app/application.h"
#include "app/mainwindow.h"
#include "toolslot.h"
#include "urlcatcher.h"
#include "windowharness.h"

#include <QBuffer>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)

namespace {
const QColor kRed(200, 40, 40);
const QColor kBlue(40, 60, 200);

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

bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) <= 8 && qAbs(a.green() - b.green()) <= 8 &&
           qAbs(a.blue() - b.blue()) <= 8;
}

QString pictureSheet(const QString &button, const QString &picture)
{
    return QStringLiteral("#%1 {  background: transparent;  border: none;  image: url(%2);}")
        .arg(button, picture);
}
} // namespace

class TestShowcase : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void pictures_data();
    void pictures();
    void links_data();
    void links();
};

void TestShowcase::initTestCase()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
}

void TestShowcase::init()
{
    QVERIFY(ToolSlot::installRealTool());
}

void TestShowcase::pictures_data()
{
    QTest::addColumn<LoopbackReply>("first");
    QTest::addColumn<LoopbackReply>("second");
    QTest::addColumn<bool>("blocked"); // the local copies cannot be written
    QTest::addColumn<bool>("downloaded");

    const LoopbackReply red = LoopbackReply::ok(solidJpeg(kRed), "image/jpeg");
    const LoopbackReply blue = LoopbackReply::ok(solidJpeg(kBlue), "image/jpeg");
    QTest::newRow("served") << red << blue << false << true;
    QTest::newRow("not found") << LoopbackReply::status(404) << LoopbackReply::status(404) << false
                               << false;
    const LoopbackReply page = LoopbackReply::ok("<html>maintenance</html>", "text/html");
    QTest::newRow("not a picture") << page << page << false << false;
    // Directories where the files should go: even root cannot open them for writing.
    QTest::newRow("cache folder not writable") << red << blue << true << false;
}

void TestShowcase::pictures()
{
    QFETCH(LoopbackReply, first);
    QFETCH(LoopbackReply, second);
    QFETCH(bool, blocked);
    QFETCH(bool, downloaded);

    WindowHarness harness;
    harness.bucket().serve(WindowHarness::kPicturePath, first);
    harness.bucket().serve(WindowHarness::kPicture2Path, second);
    const QDir cache(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    if (blocked)
        QVERIFY(cache.mkpath("product.jpg") && cache.mkpath("product2.jpg"));
    harness.open(false);

    struct Panel
    {
        QPushButton *button;
        QString file;
        QString builtIn;
        QColor colour;
        QByteArray served;
        QImage atStart; // the built-in picture, as the application's style sheet shows it
    };
    QList<Panel> panels = {
        {harness.button("BtnPicture1"), "product.jpg", ":/picture/Q70.jpg", kRed, first.body, {}},
        {harness.button("BtnPicture2"),
         "product2.jpg",
         ":/picture/Q75.jpg",
         kBlue,
         second.body,
         {}},
    };
    for (Panel &panel : panels)
        panel.atStart = panel.button->grab().toImage();

    for (const Panel &panel : panels) {
        const QString name = panel.button->objectName();
        QTRY_VERIFY_WITH_TIMEOUT(!panel.button->styleSheet().isEmpty(), 20000);
        const QString local = cache.filePath(panel.file);
        QCOMPARE(panel.button->styleSheet(),
                 pictureSheet(name, downloaded ? local : panel.builtIn));
        const QImage shown = panel.button->grab().toImage();
        if (downloaded) {
            QVERIFY(near(shown.pixelColor(shown.width() / 2, shown.height() / 2), panel.colour));
            QFile copy(local);
            QVERIFY(copy.open(QIODevice::ReadOnly));
            QCOMPARE(copy.readAll(), panel.served);
        } else {
            QCOMPARE(shown, panel.atStart);
        }
    }
}

void TestShowcase::links_data()
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

void TestShowcase::links()
{
    QFETCH(QString, address);
    QFETCH(QString, opened);

    UrlCatcher browser({"http", "https", "file", "smb"});
    WindowHarness harness;
    if (!address.isNull())
        harness.serveManifest(Release::manifestJson("V1.0.0", address, "1.2", ""));
    MainWindow *window = harness.open();

    auto *toolButton = window->findChild<QToolButton *>(QStringLiteral("toolButton"));
    QCOMPARE(toolButton->toolTip(), QStringLiteral("Click to visit: ") + opened);
    const QList<QAbstractButton *> buttons = {toolButton, harness.button("BtnPicture1"),
                                              harness.button("BtnPicture2")};
    for (QAbstractButton *button : buttons) {
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
        button->click();
    }
    // One click, one page: the set-up ran twice but left one connection each.
    QCOMPARE(browser.opened(), QList<QUrl>({QUrl(opened), QUrl(opened), QUrl(opened)}));
}

QTEST_MAIN(TestShowcase)
#include "tst_showcase.moc"
