#include "interruptwatch.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <windows.h>

namespace {
InterruptWatch *g_watch = nullptr;

BOOL WINAPI onConsoleEvent(DWORD)
{
    // Called on a thread of its own: the signal reaches the watch's thread
    // through its event loop.
    if (g_watch)
        QMetaObject::invokeMethod(g_watch, "interrupted", Qt::QueuedConnection);
    return TRUE;
}
} // namespace

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
    g_watch = this;
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    g_watch = nullptr;
}

#else
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// The handler may only write to a descriptor; the event loop reads the other end.
int g_pipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[0], &byte, 1);
}
} // namespace

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t read = ::read(g_pipe[1], &byte, 1);
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        sigaction(signal, &action, nullptr);
}

InterruptWatch::~InterruptWatch()
{
    for (const int signal : kSignals)
        std::signal(signal, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    for (int &fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}
#endif
