#pragma once

#include <QObject>

class QPoint;
class QTextEdit;

// The log view's context menu: the view's own entries, then "Copy all" and
// "Save log…", so that a user can hand the whole log to support.
class LogViewMenu : public QObject
{
    Q_OBJECT
public:
    // The menu lives as long as the view.
    static void install(QTextEdit *view);

private:
    explicit LogViewMenu(QTextEdit *view);

    void show(const QPoint &position);
    void copyAll();
    void save();

    QTextEdit *m_view;
};
