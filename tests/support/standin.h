#pragma once

#include <QByteArray>
#include <QString>

// A shell script in the tool's place, for what the real dfu-util cannot be
// made to do on demand: crash, hang, refuse to end. Asked for "-l" it lists
// one Ravlo device as the real tool does (tests/data/transcripts/list-one);
// asked for anything else it runs the flash script.
namespace StandIn {

// Writes the stand-in as an executable file at path.
bool install(const QString &path, const QByteArray &flashScript,
             const QByteArray &listScript = QByteArray());

// What the flash script does: prints "Opening DFU capable USB device..." and
// then dies by SIGSEGV, or hangs ignoring SIGTERM.
inline const QByteArray kCrash = "echo 'Opening DFU capable USB device...'; kill -SEGV $$";
inline const QByteArray kHang =
    "echo 'Opening DFU capable USB device...'; trap '' TERM; exec sleep 600";

} // namespace StandIn
