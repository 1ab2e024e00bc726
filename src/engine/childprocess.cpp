#include "childprocess.h"

#include <algorithm>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// What a killed process gets to be reaped in; SIGKILL is not refused.
constexpr int kReapMs = 200;

// Asks (or forces) the tool and everything in its group to end. Just after
// the start the tool may not have made its group yet; then it has started
// nothing either, and it alone is told.
void stopGroup(ToolProcess &process, qint64 group, bool force)
{
#ifdef Q_OS_UNIX
    const int signal = force ? SIGKILL : SIGTERM;
    if (group > 0 && ::kill(-pid_t(group), signal) != 0 && process.state() != QProcess::NotRunning)
        ::kill(pid_t(group), signal);
#else
    // The tool has no window that terminate() could close and no console
    // whose events it could take: it is ended at once, as SIGTERM ends it
    // on Linux. It starts no process of its own.
    Q_UNUSED(group)
    Q_UNUSED(force)
    if (process.state() != QProcess::NotRunning)
        process.kill();
#endif
}

} // namespace

ToolProcess::ToolProcess(QObject *parent)
    : QProcess(parent)
{
#ifdef Q_OS_WIN
    // A new group does not take Ctrl-C (the tool starts with it ignored);
    // without a console the tool takes neither Ctrl-Break nor the console's
    // closing. Its output goes through pipes all the same.
    setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->flags |= CREATE_NEW_PROCESS_GROUP | CREATE_NO_WINDOW;
    });
#endif
}

void ToolProcess::setupChildProcess()
{
#ifdef Q_OS_UNIX
    ::setpgid(0, 0);
#endif
}

namespace ChildProcess {

bool end(ToolProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    const qint64 group = process.processId();
    stopGroup(process, group, false);
    const bool ended = process.waitForFinished(std::max(graceMs - kReapMs, 1));
    // Whatever outlived the request: the tool, or a process it started.
    stopGroup(process, group, true);
    if (!ended)
        process.waitForFinished(kReapMs);
    return ended;
}

void kill(ToolProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    stopGroup(process, process.processId(), true);
    process.waitForFinished(kReapMs);
}

} // namespace ChildProcess
