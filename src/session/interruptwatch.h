#pragma once

#include <QObject>

class QSocketNotifier;

// Turns what ends a program from outside into a Qt signal delivered by the
// event loop: SIGTERM (logging out, shutting down, kill), SIGHUP (the
// terminal or the session gone) and Ctrl-C; on Windows the console's events:
// Ctrl-C, Ctrl-Break, its closing, logging off and shutting down (for the
// last three the process waits, within the few seconds Windows grants, until
// the watch is gone). Whoever owns the run then stops it and removes its
// files as on any other cancel instead of dying with the tool still writing.
// One per process; the signals' default actions are back once it is gone.
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
