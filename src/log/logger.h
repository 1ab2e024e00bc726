#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>

class QTextEdit;

// The process-wide log sink. Every line is echoed at once to the Qt debug
// channel and, through a queued connection, appended in its level's colour to
// the attached read-only view, which keeps only the newest lines.
class Logger : public QObject
{
    Q_OBJECT
public:
    // Created on the first call, never destroyed.
    static Logger *instance();

    // Attaches the view that shows the lines logged from now on.
    void setTextEdit(QTextEdit *textEdit);

    void info(const QString &message);
    void warning(const QString &message);
    void error(const QString &message);
    void debug(const QString &message);
    void log(const QString &level, const QString &message);

    void clear();
    // Values below 1 are ignored. The view is trimmed with the next line.
    void setMaxLines(int maxLines);
    int maxLines() const;
    // Appends the view's text to the file; false when there is no view or
    // the text did not reach the file whole (a full disk, a missing folder).
    bool saveToFile(const QString &filePath);

    // Dresses a text edit as a read-only log view without attaching it.
    void makeReadOnly(QTextEdit *textEdit);

signals:
    void newLogMessage(QString message);

private:
    explicit Logger(QObject *parent = nullptr);

    QString currentTimestamp() const;
    QString formatHtmlMessage(const QString &level, const QString &message) const;
    void trimToMaxLines();
    void displayMessage(const QString &message);
    void detachTextEdit();

    static Logger *s_instance;
    static QBasicMutex s_mutex;

    QTextEdit *m_textEdit = nullptr;
    int m_maxLines = 1000;
    QHash<QString, QString> m_levelColors;
};
