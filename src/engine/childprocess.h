#pragma once

#include <QProcess>

// A dfu-util process in a process group of its own: a Ctrl-C at a terminal
// reaches only the program, which then ends the tool its own way (a flash is
// never cut off by the keyboard behind the program's back), and ending the
// tool ends the group, so nothing the tool started outlives it. On Windows the
// tool gets no console either: Ctrl-Break reaches every process of a console,
// whatever its group.
class ToolProcess : public QProcess
{
public:
    explicit ToolProcess(QObject *parent = nullptr);

protected:
    void setupChildProcess() override;
};

// Ending a tool that is no longer wanted, with whatever it started, within a
// bound: neither a cancel nor the program's exit waits on a tool that ignores it.
namespace ChildProcess {

// Asks the tool's group to terminate and kills what of it is left once the
// tool has ended or graceMs have passed; returns within graceMs. False when
// the tool itself had to be killed.
bool end(ToolProcess &process, int graceMs);
// Kills the tool's group and reaps the tool briefly.
void kill(ToolProcess &process);

} // namespace ChildProcess
