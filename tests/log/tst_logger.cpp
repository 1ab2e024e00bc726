// The log view as the Logger fills it: coloured lines through the event loop,
// the newest kept with their colours, views that come and go, saving.

#include "log/logger.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

namespace {

Logger *logger()
{
    return Logger::instance();
}

// Lines reach a view only through the event loop.
void deliverLines()
{
    QCoreApplication::sendPostedEvents(logger(), QEvent::MetaCall);
}

QColor colorOfLine(const QTextEdit &view, int line)
{
    QTextCursor cursor(view.document()->findBlockByNumber(line));
    cursor.movePosition(QTextCursor::NextCharacter);
    return cursor.charFormat().foreground().color();
}

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        logger()->setMaxLines(1000);
        m_view = std::make_unique<QTextEdit>();
        m_view->show();
        logger()->setTextEdit(m_view.get());
    }
    void cleanup()
    {
        deliverLines();
        m_view.reset();
    }
    void keepsNewestLinesWithTheirColours_data();
    void keepsNewestLinesWithTheirColours();
    void viewsComeAndGo();
    void handlerThatLogsDoesNotDeadlock();
    void saveToFile_data();
    void saveToFile();

private:
    // The view's lines without their time stamps.
    QStringList shownLines() const
    {
        static const QRegularExpression stamp(QStringLiteral(R"(^\[[-\d :.]{23}\] )"));
        return m_view->toPlainText().split('\n').replaceInStrings(stamp, QString());
    }

    std::unique_ptr<QTextEdit> m_view;
};

void TestLogger::keepsNewestLinesWithTheirColours_data()
{
    QTest::addColumn<int>("maxLines");
    QTest::addColumn<int>("logged");
    QTest::newRow("many over") << 3 << 40;
    QTest::newRow("default limit, one over") << 1000 << 1001;
}

// Markup and placeholders stay text; each level has its colour.
void TestLogger::keepsNewestLinesWithTheirColours()
{
    QFETCH(int, maxLines);
    QFETCH(int, logged);
    logger()->setMaxLines(maxLines);
    logger()->setMaxLines(0); // ignored, as is any value below 1
    const QStringList levels{"WARNING", "ERROR", "INFO"};
    const QColor colors[] = {QColor("#FFA500"), QColor("#FF0000"), QColor("#FFFFFF")};
    const auto message = [](int i) {
        return QString("<b>%1</b> & 100% %2").arg(i);
    };
    for (int i = 0; i < logged; ++i)
        logger()->log(levels.at(i % 3), message(i));
    QVERIFY2(m_view->toPlainText().isEmpty(), "shown before the event loop ran");
    deliverLines();

    const int first = std::max(0, logged - maxLines);
    QStringList expected;
    for (int i = first; i < logged; ++i)
        expected << "[" + levels.at(i % 3) + "] " + message(i);
    QCOMPARE(shownLines(), expected);
    for (int i = first; i < logged; ++i)
        QCOMPARE(colorOfLine(*m_view, i - first), colors[i % 3]);
    QScrollBar *scrollBar = m_view->verticalScrollBar();
    QTRY_COMPARE(scrollBar->value(), scrollBar->maximum());
    // A log view that recorded undo steps would grow without end.
    QCOMPARE(m_view->document()->availableUndoSteps(), 0);
}

// No view, the same view twice, another view, a destroyed view: each line
// shows once, in the view attached, and never reaches a view gone or replaced.
void TestLogger::viewsComeAndGo()
{
    logger()->setTextEdit(nullptr);
    logger()->setTextEdit(m_view.get());
    m_view->setReadOnly(false);
    logger()->info("once");
    deliverLines();
    QCOMPARE(shownLines(), QStringList{"[INFO] once"});
    QVERIFY(m_view->isReadOnly());

    auto replacement = std::make_unique<QTextEdit>();
    logger()->setTextEdit(replacement.get());
    logger()->info("to the replacement");
    replacement.reset();
    logger()->info("while detached");
    deliverLines();
    logger()->setTextEdit(m_view.get());
    logger()->info("attached again");
    deliverLines();
    QCOMPARE(shownLines(), (QStringList{"[INFO] once", "[INFO] attached again"}));
}

// A message handler may log in turn: the Logger must not hold its lock
// while it writes to the debug channel.
void TestLogger::handlerThatLogsDoesNotDeadlock()
{
    static bool nested = false;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            if (!nested && text.endsWith(QLatin1String("[INFO] outer"))) {
                nested = true;
                logger()->info(QStringLiteral("inner"));
            }
        });
    logger()->info(QStringLiteral("outer"));
    qInstallMessageHandler(previous);
    deliverLines();
    QCOMPARE(shownLines(), (QStringList{"[INFO] outer", "[INFO] inner"}));
}

void TestLogger::saveToFile_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("saved");
    QTest::newRow("new file, twice") << "log.txt" << true;
    QTest::newRow("missing folder") << "missing/log.txt" << false;
    QTest::newRow("disk full") << "/dev/full" << false;
}

void TestLogger::saveToFile()
{
    QFETCH(QString, fileName);
    QFETCH(bool, saved);
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(fileName);
    logger()->info("first");
    logger()->warning("second");
    deliverLines();
    QCOMPARE(logger()->saveToFile(path), saved);
    QCOMPARE(logger()->saveToFile(path), saved);
    QFile file(path);
    const QString copy = m_view->toPlainText() + '\n';
    QVERIFY(!saved || (file.open(QIODevice::ReadOnly) && file.readAll() == (copy + copy).toUtf8()));
}

QTEST_MAIN(TestLogger)
#include "tst_logger.moc"
