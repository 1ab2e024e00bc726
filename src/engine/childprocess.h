#pragma once

#include <QProcess>

// A dfu-util process in a process group of its own: a Ctrl-C at a terminal
// reaches only the program, which then ends the tool its own way (a flash is
// never cut off by the keyboard behind the program's back).
class ToolProcess : public QProcess
{
public:
    using QProcess::QProcess;

protected:
    void setupChildProcess() override;
};

// Ending a child process that is no longer wanted, within a bound: neither a
// cancel nor the program's exit waits on a tool that ignores it.
namespace ChildProcess {

// Asks the process to terminate and, if it has not ended within graceMs,
// kills it; returns within graceMs. False when it had to be killed.
bool end(QProcess &process, int graceMs);
// Kills the process and reaps it briefly.
void kill(QProcess &process);

} // namespace ChildProcess
