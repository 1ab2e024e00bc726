#include "log/logger.h"

#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

// Records the Qt messages written while it exists.
class MessageLog
{
public:
    MessageLog()
        : m_previous(qInstallMessageHandler(&MessageLog::handle))
    {
        s_current = this;
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }

    QStringList texts(QtMsgType type) const
    {
        QMutexLocker locker(&m_mutex);
        return m_texts.value(type);
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        QMutexLocker locker(&s_current->m_mutex);
        s_current->m_texts[type].append(text);
    }

    static inline MessageLog *s_current = nullptr;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QHash<QtMsgType, QStringList> m_texts;
};

const QString kTimestamp = QStringLiteral(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] )");

Logger *logger()
{
    return Logger::instance();
}

// Lines reach a view only through the event loop.
void deliverLines()
{
    QCoreApplication::sendPostedEvents(logger(), QEvent::MetaCall);
}

// The lines of a text with their time stamps cut off.
QStringList withoutTimestamps(const QString &text)
{
    return text.split('\n').replaceInStrings(QRegularExpression(kTimestamp), QString());
}

// Writes through the level's own operation.
void logAt(const QString &level, const QString &message)
{
    using Write = void (Logger::*)(const QString &);
    static const QHash<QString, Write> writers{{"INFO", &Logger::info},
                                               {"WARNING", &Logger::warning},
                                               {"ERROR", &Logger::error},
                                               {"DEBUG", &Logger::debug}};
    (logger()->*writers.value(level))(message);
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
        m_messages = std::make_unique<MessageLog>();
        logger()->setMaxLines(1000);
        m_view = std::make_unique<QTextEdit>();
        m_view->resize(400, 150);
        m_view->show();
        logger()->setTextEdit(m_view.get());
    }
    void cleanup()
    {
        deliverLines();
        m_view.reset();
        m_messages.reset();
    }

    void lineFormats_data();
    void lineFormats();
    void keepsNewestLinesWithTheirColours_data();
    void keepsNewestLinesWithTheirColours();
    void countsLinesAsPlainTextDoes_data();
    void countsLinesAsPlainTextDoes();
    void attachingAgainOrNothingKeepsTheView();
    void destroyedOrReplacedViewGetsNoMoreLines();
    void editableViewIsMadeReadOnlyAgain();
    void handlerThatLogsDoesNotDeadlock();
    void saveToFile_data();
    void saveToFile();

private:
    QStringList shownLines() const { return withoutTimestamps(m_view->toPlainText()); }

    std::unique_ptr<MessageLog> m_messages;
    std::unique_ptr<QTextEdit> m_view;
};

void TestLogger::lineFormats_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QColor>("color");

    QTest::newRow("info") << "INFO"
                          << "Ready"
                          << "Ready" << QColor("#FFFFFF");
    QTest::newRow("markup stays text") << "WARNING"
                                       << R"(<b>x</b> & "y" &lt;)"
                                       << R"(<b>x</b> & "y" &lt;)" << QColor("#FFA500");
    QTest::newRow("line feed") << "ERROR"
                               << "a\nb"
                               << "a b" << QColor("#FF0000");
    QTest::newRow("placeholders") << "DEBUG"
                                  << "100% %1 %2"
                                  << "100% %1 %2" << QColor("#008000");
    QTest::newRow("empty") << "INFO"
                           << ""
                           << "" << QColor("#FFFFFF");
}

void TestLogger::lineFormats()
{
    QFETCH(QString, level);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QFETCH(QColor, color);

    logAt(level, message);
    const QStringList echo = m_messages->texts(QtDebugMsg);
    QCOMPARE(echo.size(), 1);
    QCOMPARE(QString(echo.first()).remove(QRegularExpression(kTimestamp)),
             QString("[%1] %2").arg(level, message));
    QVERIFY2(m_view->toPlainText().isEmpty(), "shown before the event loop ran");

    deliverLines();
    QCOMPARE(shownLines(), QStringList{QString("[%1] %2").arg(level, shown)});
    QCOMPARE(colorOfLine(*m_view, 0), color);
    QTextCursor end(m_view->document());
    end.movePosition(QTextCursor::End);
    QCOMPARE(end.charFormat().fontWeight(), int(QFont::Normal));
}

void TestLogger::keepsNewestLinesWithTheirColours_data()
{
    QTest::addColumn<int>("maxLines");
    QTest::addColumn<int>("logged");

    QTest::newRow("below the limit") << 5 << 4;
    QTest::newRow("at the limit") << 5 << 5;
    QTest::newRow("one over") << 5 << 6;
    QTest::newRow("many over") << 3 << 40;
    QTest::newRow("default limit, one over") << 1000 << 1001;
}

void TestLogger::keepsNewestLinesWithTheirColours()
{
    QFETCH(int, maxLines);
    QFETCH(int, logged);
    logger()->setMaxLines(maxLines);
    logger()->setMaxLines(0); // ignored, as is any value below 1
    const QStringList levels{"WARNING", "ERROR", "INFO"};
    const QColor colors[] = {QColor("#FFA500"), QColor("#FF0000"), QColor("#FFFFFF")};

    for (int i = 0; i < logged; ++i)
        logAt(levels.at(i % 3), QString("line %1").arg(i));
    deliverLines();

    const int first = std::max(0, logged - maxLines);
    QStringList expected;
    for (int i = first; i < logged; ++i)
        expected << QString("[%1] line %2").arg(levels.at(i % 3)).arg(i);
    QCOMPARE(shownLines(), expected);
    for (int i = first; i < logged; ++i)
        QCOMPARE(colorOfLine(*m_view, i - first), colors[i % 3]);
    QScrollBar *scrollBar = m_view->verticalScrollBar();
    QTRY_COMPARE(scrollBar->value(), scrollBar->maximum());
    // A log view that recorded undo steps would grow without end.
    QCOMPARE(m_view->document()->availableUndoSteps(), 0);
}

void TestLogger::countsLinesAsPlainTextDoes_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<int>("maxLines");

    QTest::newRow("breaks inside a paragraph") << "<p>a<br>b<br>c</p>" << 3;
    QTest::newRow("cut after a break") << "<p>a<br>b</p><p>c</p>" << 3;
    QTest::newRow("empty paragraphs") << "<p>a</p><p></p><p></p><p>b</p>" << 3;
    QTest::newRow("cut before empty paragraphs") << "<p>a</p><p></p><p></p><p>b</p>" << 4;
    QTest::newRow("non-breaking spaces") << "<p>a&nbsp;b</p><p>c&nbsp;</p>" << 2;
    QTest::newRow("exactly full") << "<p>a<br>b</p>" << 3;
}

// Whatever else the view holds, its lines are the pieces of its plain text
// split at line feeds, and the newest of them are kept.
void TestLogger::countsLinesAsPlainTextDoes()
{
    QFETCH(QString, html);
    QFETCH(int, maxLines);
    m_view->setHtml(html);
    const QStringList before = m_view->toPlainText().split('\n');
    logger()->setMaxLines(maxLines);

    logger()->info("new");
    deliverLines();

    const QStringList after = m_view->toPlainText().split('\n');
    QCOMPARE(after.size(), std::min(maxLines, int(before.size()) + 1));
    QCOMPARE(after.mid(0, after.size() - 1), before.mid(before.size() - after.size() + 1));
    QVERIFY(after.last().endsWith("[INFO] new"));
}

void TestLogger::attachingAgainOrNothingKeepsTheView()
{
    logger()->setTextEdit(nullptr);
    logger()->makeReadOnly(nullptr);
    const QString noView = QStringLiteral("Logger: 传入的文本编辑控件为空");
    QCOMPARE(m_messages->texts(QtWarningMsg), (QStringList{noView, noView}));

    logger()->setTextEdit(m_view.get());
    logger()->info("once");
    deliverLines();
    QCOMPARE(shownLines(), QStringList{"[INFO] once"});
}

void TestLogger::destroyedOrReplacedViewGetsNoMoreLines()
{
    auto replacement = std::make_unique<QTextEdit>();
    logger()->setTextEdit(replacement.get());
    logger()->info("to the replacement");
    deliverLines();
    QVERIFY(m_view->toPlainText().isEmpty());
    QCOMPARE(withoutTimestamps(replacement->toPlainText()),
             QStringList{"[INFO] to the replacement"});

    replacement.reset();
    logger()->info("while detached");
    logger()->saveToFile(QDir::temp().filePath("unused.log"));
    QCOMPARE(m_messages->texts(QtWarningMsg),
             QStringList{QStringLiteral("Logger: 没有可用的日志控件")});
    QVERIFY(m_messages->texts(QtDebugMsg).last().endsWith("[INFO] while detached"));

    logger()->setTextEdit(m_view.get());
    logger()->info("attached again");
    deliverLines();
    QCOMPARE(shownLines(), QStringList{"[INFO] attached again"});
}

void TestLogger::editableViewIsMadeReadOnlyAgain()
{
    m_view->setReadOnly(false);
    logger()->info("line");
    deliverLines();
    QVERIFY(m_view->isReadOnly());
    QCOMPARE(m_messages->texts(QtWarningMsg),
             QStringList{
                 QStringLiteral("Logger: 检测到日志控件被修改为可编辑状态，已自动重新设置为只读")});
    QCOMPARE(shownLines(), QStringList{"[INFO] line"});
}

// A message handler may log in turn: the Logger must not hold its lock
// while it writes to the debug channel.
void TestLogger::handlerThatLogsDoesNotDeadlock()
{
    static bool nested = false;
    nested = false;
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

    QTest::newRow("new file") << "log.txt" << true;
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

    logger()->saveToFile(path);
    logger()->saveToFile(path);

    const QString report = (saved ? QStringLiteral("Logger: 日志已保存到")
                                  : QStringLiteral("Logger: 无法保存日志到")) +
                           path;
    QCOMPARE(m_messages->texts(saved ? QtInfoMsg : QtWarningMsg).filter(report),
             (QStringList{report, report}));
    if (saved) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QString copy = m_view->toPlainText() + '\n';
        QCOMPARE(QString::fromLocal8Bit(file.readAll()), copy + copy);
    }
}

QTEST_MAIN(TestLogger)
#include "tst_logger.moc"
