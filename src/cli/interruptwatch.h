#pragma once

#include <QObject>

class QSocketNotifier;

// Turns Ctrl-C and SIGTERM (on Windows the console's Ctrl-C and close events)
// into a Qt signal delivered by the event loop, so that an interrupted flash
// is stopped and cleaned up like any other cancel. One per process.
class InterruptWatch : public QObject
{
    Q_OBJECT
public:
    explicit InterruptWatch(QObject *parent = nullptr);
    ~InterruptWatch() override;

signals:
    void interrupted();

private:
    QSocketNotifier *m_notifier = nullptr;
};
