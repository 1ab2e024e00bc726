#pragma once

#include <QObject>
#include <QTemporaryDir>

#include <memory>

class QProcess;

// A system bus of this process's own: a dbus-daemon on a socket in a
// temporary folder, named by DBUS_SYSTEM_BUS_ADDRESS of this process (and so
// of its children) while the bus lives, and on it a stand-in for logind
// (sim/logind) that is there or not. The bus and the stand-in end with this
// process, however it ends.
class SystemBus : public QObject
{
    Q_OBJECT
public:
    SystemBus();
    ~SystemBus() override;

    // Before anything in this process has used the system bus: its address
    // is read once.
    bool start();
    // logind is on the bus, or gone from it.
    bool startLogind();
    void stopLogind();

signals:
    // A line of the stand-in's report (sim/logind/logindstandin.cpp), split
    // into its fields: "inhibit" and what, who, why, mode; or "release".
    void logindSaid(const QStringList &fields);

private:
    void readLogind();

    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_daemon;
    std::unique_ptr<QProcess> m_logind;
    bool m_logindReady = false;
    const QByteArray m_previousAddress;
};
