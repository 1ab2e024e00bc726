#include "childprocess.h"

#include <algorithm>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
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
    // No process groups: the tool alone.
    Q_UNUSED(group)
    if (process.state() != QProcess::NotRunning)
        force ? process.kill() : process.terminate();
#endif
}

} // namespace

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
