// Stands in for logind on a private system bus (DBUS_SYSTEM_BUS_ADDRESS), as
// far as inhibitor locks go: org.freedesktop.login1.Manager.Inhibit hands out
// the writing end of a pipe, as logind does, and the lock lasts until every
// copy of it is closed. It tells on standard output, a line each:
//   ready                                   the name is owned
//   inhibit <what> <who> <why> <mode>       a lock taken (fields tab-separated)
//   release                                 a lock given back

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusUnixFileDescriptor>
#include <QSocketNotifier>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

void say(const QStringList &fields)
{
    std::fputs(qPrintable(fields.join(QLatin1Char('\t')) + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace

class Manager : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public slots:
    QDBusUnixFileDescriptor Inhibit(const QString &what, const QString &who, const QString &why,
                                    const QString &mode)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0)
            return QDBusUnixFileDescriptor();
        say({QStringLiteral("inhibit"), what, who, why, mode});
        // The reading end hears the end of the file once the last copy of
        // the writing end is closed.
        auto *held = new QSocketNotifier(ends[0], QSocketNotifier::Read, this);
        connect(held, &QSocketNotifier::activated, this, [held](int fd) {
            char byte;
            if (::read(fd, &byte, 1) > 0)
                return;
            say({QStringLiteral("release")});
            held->deleteLater();
            ::close(fd);
        });
        const QDBusUnixFileDescriptor lock(ends[1]); // a copy of its own
        ::close(ends[1]);
        return lock;
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Manager manager;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.login1"))) {
        std::fprintf(stderr, "logind stand-in: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    say({QStringLiteral("ready")});
    return app.exec();
}

#include "logindstandin.moc"
