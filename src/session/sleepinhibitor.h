#pragma once

#include <QObject>

// Keeps the computer from suspending while it is held: a device whose write
// is cut off by sleep stays in DFU mode with part of an image. On Linux a
// "block" inhibitor lock of logind for sleep and idle, held for as long as
// the descriptor logind hands out stays open; on Windows the execution state
// of the thread. Where there is neither (no logind, no system bus, as in a
// container) the program goes on without and says so once in the debug log.
class SleepInhibitor : public QObject
{
public:
    explicit SleepInhibitor(QObject *parent = nullptr);
    ~SleepInhibitor() override;

    // Asks for the lock, with the reason the system shows whoever tries to
    // suspend it; nothing while it is held. Never waits for the answer.
    void hold(const QString &why);
    void release();

private:
    bool m_held = false;
    quint64 m_hold = 0; // which hold a late answer belongs to
    int m_lock = -1;    // logind's descriptor
};
