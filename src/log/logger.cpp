#include "logger.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QFont>
#include <QScrollBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextStream>

Logger *Logger::s_instance = nullptr;
QBasicMutex Logger::s_mutex;

namespace {

bool isTextEditGiven(const QTextEdit *textEdit)
{
    if (!textEdit)
        qWarning("Logger: 传入的文本编辑控件为空");
    return textEdit != nullptr;
}

} // namespace

Logger::Logger(QObject *parent)
    : QObject(parent)
    , m_levelColors{{QStringLiteral("INFO"), QStringLiteral("#FFFFFF")},
                    {QStringLiteral("WARNING"), QStringLiteral("#FFA500")},
                    {QStringLiteral("ERROR"), QStringLiteral("#FF0000")},
                    {QStringLiteral("DEBUG"), QStringLiteral("#008000")}}
{}

Logger *Logger::instance()
{
    QMutexLocker locker(&s_mutex);
    if (!s_instance)
        s_instance = new Logger;
    return s_instance;
}

void Logger::setTextEdit(QTextEdit *textEdit)
{
    QMutexLocker locker(&s_mutex);
    if (!isTextEditGiven(textEdit))
        return;
    if (m_textEdit && m_textEdit != textEdit) {
        disconnect(this, &Logger::newLogMessage, nullptr, nullptr);
        disconnect(m_textEdit, &QObject::destroyed, this, &Logger::detachTextEdit);
    }
    m_textEdit = textEdit;
    textEdit->setReadOnly(true);
    textEdit->setFont(QFont(QStringLiteral("Consolas"), 9));
    textEdit->setWordWrapMode(QTextOption::WrapAnywhere);
    // Nobody undoes a log; recording every append and trim would grow without end.
    textEdit->setUndoRedoEnabled(false);
    // Unique: attaching the same view again must not show each line twice.
    connect(this, &Logger::newLogMessage, this, &Logger::displayMessage,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(textEdit, &QObject::destroyed, this, &Logger::detachTextEdit, Qt::UniqueConnection);
    qInfo("Logger: 日志控件已设置");
}

void Logger::info(const QString &message)
{
    log(QStringLiteral("INFO"), message);
}

void Logger::warning(const QString &message)
{
    log(QStringLiteral("WARNING"), message);
}

void Logger::error(const QString &message)
{
    log(QStringLiteral("ERROR"), message);
}

void Logger::debug(const QString &message)
{
    log(QStringLiteral("DEBUG"), message);
}

void Logger::log(const QString &level, const QString &message)
{
    QString plainLine;
    QString displayLine;
    {
        QMutexLocker locker(&s_mutex);
        // One arg() call, so that a "%1" inside the message stays as it is.
        plainLine = QStringLiteral("[%1] [%2] %3").arg(currentTimestamp(), level, message);
        displayLine = m_levelColors.contains(level) ? formatHtmlMessage(level, message) : plainLine;
    }
    // Outside the lock: a message handler or a receiver that logs in turn
    // must not find it held.
    emit newLogMessage(displayLine);
    qDebug().noquote() << plainLine;
}

void Logger::clear()
{
    QMutexLocker locker(&s_mutex);
    if (!m_textEdit)
        return;
    m_textEdit->clear();
    qInfo("Logger: 日志已清空");
}

void Logger::setMaxLines(int maxLines)
{
    QMutexLocker locker(&s_mutex);
    if (maxLines < 1)
        return;
    m_maxLines = maxLines;
    qInfo().noquote() << QStringLiteral("Logger: 设置最大日志行数为") + QString::number(maxLines);
}

int Logger::maxLines() const
{
    QMutexLocker locker(&s_mutex);
    return m_maxLines;
}

bool Logger::saveToFile(const QString &filePath)
{
    QMutexLocker locker(&s_mutex);
    if (!m_textEdit) {
        qWarning("Logger: 没有可用的日志控件");
        return false;
    }
    QFile file(filePath);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        QTextStream out(&file);
        out << m_textEdit->toPlainText() << '\n';
        out.flush();
        // A full disk shows only when the buffers reach the file.
        if (out.status() == QTextStream::Ok && file.flush()) {
            file.close();
            qInfo().noquote() << QStringLiteral("Logger: 日志已保存到") + filePath;
            return true;
        }
    }
    qWarning().noquote() << QStringLiteral("Logger: 无法保存日志到") + filePath;
    return false;
}

void Logger::makeReadOnly(QTextEdit *textEdit)
{
    if (!isTextEditGiven(textEdit))
        return;
    textEdit->setReadOnly(true);
    textEdit->setFocusPolicy(Qt::ClickFocus);
    textEdit->setContextMenuPolicy(Qt::NoContextMenu);
    textEdit->setStyleSheet(QStringLiteral("QTextEdit:read-only {"
                                           " background-color: #f8f9fa;"
                                           " selection-background-color: #a8d8ff; }"));
    qInfo("Logger: 日志控件已设置为只读模式");
}

QString Logger::currentTimestamp() const
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

QString Logger::formatHtmlMessage(const QString &level, const QString &message) const
{
    const QString color = m_levelColors.value(level, QStringLiteral("#000000"));
    return QStringLiteral("<font color=\"%1\">[%2] [%3] %4</font>")
        .arg(color, currentTimestamp(), level, message.toHtmlEscaped());
}

// The document drops its oldest lines itself, each line being a block: the
// kept lines keep their colours and the rest of the layout stays.
void Logger::trimToMaxLines()
{
    if (!m_textEdit)
        return;
    int maxLines = 0;
    {
        QMutexLocker locker(&s_mutex);
        maxLines = m_maxLines;
    }
    QTextDocument *document = m_textEdit->document();
    if (document->maximumBlockCount() != maxLines)
        document->setMaximumBlockCount(maxLines);
}

// Runs from the event loop, after log() has returned and released the lock.
void Logger::displayMessage(const QString &message)
{
    if (!m_textEdit)
        return;
    if (!m_textEdit->isReadOnly()) {
        qWarning("Logger: 检测到日志控件被修改为可编辑状态，已自动重新设置为只读");
        m_textEdit->setReadOnly(true);
    }
    trimToMaxLines();
    m_textEdit->append(message);
    QScrollBar *scrollBar = m_textEdit->verticalScrollBar();
    scrollBar->setValue(scrollBar->maximum());
}

// A destroyed view is detached: later lines go only to the debug echo, and
// none of them waits in the queue for whichever view is attached next.
void Logger::detachTextEdit()
{
    QMutexLocker locker(&s_mutex);
    m_textEdit = nullptr;
    disconnect(this, &Logger::newLogMessage, this, &Logger::displayMessage);
}
