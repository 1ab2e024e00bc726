#include "interruptwatch.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <QMutex>
#include <windows.h>

namespace {
// The console calls the handler on a thread of its own.
QMutex g_mutex;
InterruptWatch *g_watch = nullptr;
// Set once the watch is gone, which is after its owner has stopped the run.
HANDLE g_gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
// Windows ends a process 5 s after the console's close at the latest.
constexpr DWORD kCloseWaitMs = 4500;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    {
        QMutexLocker lock(&g_mutex);
        if (!g_watch)
            return FALSE;
        // The signal reaches the watch's thread through its event loop.
        QMetaObject::invokeMethod(g_watch, "interrupted", Qt::QueuedConnection);
    }
    // Ctrl-C and Ctrl-Break are handled once the stop is asked for. Closing
    // the console, logging off and shutting down end the process as soon as
    // the handler returns: it waits until the run has been stopped.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        WaitForSingleObject(g_gone, kCloseWaitMs);
    return TRUE;
}
} // namespace

InterruptWatch::InterruptWatch(QObject *parent)
    : QObject(parent)
{
    QMutexLocker lock(&g_mutex);
    g_watch = this;
    ResetEvent(g_gone);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptWatch::~InterruptWatch()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    QMutexLocker lock(&g_mutex);
    g_watch = nullptr;
    SetEvent(g_gone);
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
