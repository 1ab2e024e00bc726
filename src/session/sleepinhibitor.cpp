#include "sleepinhibitor.h"

#include <QCoreApplication>
#include <QDebug>

#include <utility>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_LINUX)
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Once per process: a production line writing device after device would
// otherwise say it for every one.
void goWithout(const QString &why)
{
    static bool said = false;
    if (std::exchange(said, true))
        return;
    qDebug().noquote() << QStringLiteral("无法阻止系统休眠（%1），继续写入").arg(why);
}

} // namespace

SleepInhibitor::SleepInhibitor(QObject *parent)
    : QObject(parent)
{}

SleepInhibitor::~SleepInhibitor()
{
    release();
}

#if defined(Q_OS_WIN)

void SleepInhibitor::hold(const QString &)
{
    if (std::exchange(m_held, true))
        return;
    // The display may still turn off; the system does not sleep.
    if (!SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED))
        goWithout(QStringLiteral("SetThreadExecutionState: %1").arg(GetLastError()));
}

void SleepInhibitor::release()
{
    if (std::exchange(m_held, false))
        SetThreadExecutionState(ES_CONTINUOUS);
}

#elif defined(Q_OS_LINUX)

void SleepInhibitor::hold(const QString &why)
{
    if (std::exchange(m_held, true))
        return;
    const quint64 hold = ++m_hold;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        goWithout(QStringLiteral("no system bus: %1").arg(bus.lastError().message()));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QCoreApplication::applicationName() << why
         << QStringLiteral("block");
    // Asynchronous: a logind that is slow to answer never holds up the run.
    auto *answer = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer, hold] {
        answer->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *answer;
        if (reply.isError()) {
            goWithout(QStringLiteral("logind: %1").arg(reply.error().message()));
            return;
        }
        // A lock that arrives after its release is closed with the reply.
        if (m_held && hold == m_hold)
            m_lock = ::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
    });
}

void SleepInhibitor::release()
{
    m_held = false;
    if (m_lock >= 0)
        ::close(std::exchange(m_lock, -1));
}

#else

void SleepInhibitor::hold(const QString &)
{
    if (!std::exchange(m_held, true))
        goWithout(QStringLiteral("not on this system"));
}

void SleepInhibitor::release()
{
    m_held = false;
}

#endif
