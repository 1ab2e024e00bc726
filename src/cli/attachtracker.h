#pragma once

#include "dfu/dfuscan.h"

#include <QSet>

// --wait: what a scan shows for the first time in its attach. Every attach is
// a new board: a device is taken once (written, or reported when the tool
// cannot open it) and stays taken only while it stays attached, so a board
// plugged in again, into the same port or another, is taken again. An attach
// is known by the USB path and the bus address (devnum), which the bus gives
// anew at every attach; a device the tool cannot open by the bus address its
// message names, all that it names.
class AttachTracker
{
public:
    struct News
    {
        QList<DfuDevice> devices; // to write
        QStringList refusals;     // the tool's messages about devices it could not open
    };

    // devices: the Ravlo devices the scan listed; problems: its messages about
    // Ravlo devices; busy: the devices being written, which stay taken while
    // the scan does not show them (they reset) and which the tool may be unable
    // to open meanwhile (on Windows one program at a time opens a device).
    News update(const QList<DfuDevice> &devices, const QStringList &problems,
                const QList<DfuDevice> &busy);

private:
    QSet<QString> m_taken;
};
