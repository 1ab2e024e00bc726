#include "childprocess.h"

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {
// What a killed process gets to be reaped in; SIGKILL is not refused.
constexpr int kReapMs = 200;
} // namespace

void ToolProcess::setupChildProcess()
{
#ifdef Q_OS_UNIX
    ::setpgid(0, 0);
#endif
}

namespace ChildProcess {

bool end(QProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    if (process.waitForFinished(std::max(graceMs - kReapMs, 1)))
        return true;
    kill(process);
    return false;
}

void kill(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(kReapMs);
}

} // namespace ChildProcess
