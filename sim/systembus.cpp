#include "systembus.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <sys/prctl.h>

namespace {

constexpr int kStartMs = 10000;

const char kAddressVariable[] = "DBUS_SYSTEM_BUS_ADDRESS";

// Everyone may connect, own a name, call anyone and hear back.
const char kConfig[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// A process that is killed when this one dies, crashed tests included.
class Companion : public QProcess
{
protected:
    void setupChildProcess() override { ::prctl(PR_SET_PDEATHSIG, SIGKILL); }
};

void stop(std::unique_ptr<QProcess> &process)
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(kStartMs);
    process.reset();
}

} // namespace

SystemBus::SystemBus()
    : m_previousAddress(qgetenv(kAddressVariable))
{}

SystemBus::~SystemBus()
{
    stopLogind();
    stop(m_daemon);
    if (m_previousAddress.isNull())
        qunsetenv(kAddressVariable);
    else
        qputenv(kAddressVariable, m_previousAddress);
}

bool SystemBus::start()
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    if (daemon.isEmpty() || !m_dir.isValid() || !config.open(QIODevice::WriteOnly) ||
        config.write(QString::fromLatin1(kConfig).arg(m_dir.path()).toUtf8()) < 0)
        return false;
    config.close();
    m_daemon = std::make_unique<Companion>();
    m_daemon->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_daemon->start(daemon, {QStringLiteral("--config-file=") + config.fileName(),
                             QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                             QStringLiteral("--nosyslog"), QStringLiteral("--print-address")});
    while (!m_daemon->canReadLine())
        if (!m_daemon->waitForReadyRead(kStartMs))
            return false;
    qputenv(kAddressVariable, m_daemon->readLine().trimmed());
    return true;
}

bool SystemBus::startLogind()
{
    stopLogind();
    m_logind = std::make_unique<Companion>();
    m_logind->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_logind.get(), &QProcess::readyReadStandardOutput, this, &SystemBus::readLogind);
    m_logind->start(QStringLiteral(RAVLO_LOGIND_STANDIN), QStringList());
    while (!m_logindReady)
        if (!m_logind->waitForReadyRead(kStartMs))
            return false;
    return true;
}

void SystemBus::stopLogind()
{
    if (m_logind)
        m_logind->disconnect(this);
    stop(m_logind);
    m_logindReady = false;
}

void SystemBus::readLogind()
{
    while (m_logind->canReadLine()) {
        const QStringList fields =
            QString::fromUtf8(m_logind->readLine()).chopped(1).split(QLatin1Char('\t'));
        if (fields.first() == QLatin1String("ready"))
            m_logindReady = true;
        else
            emit logindSaid(fields);
    }
}
