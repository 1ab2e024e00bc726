#pragma once

#include <QString>

// Reading the lines that `dfu-util -l` prints, for example
//   Found DFU: [0483:df11] ver=0200, devnum=5, ..., serial="3276386A3133"
namespace DfuListing {

// The USB identity a Ravlo device shows in DFU mode.
inline const QString kTargetVidPid = QStringLiteral("0483:df11");

// The bracketed VID:PID of a line, or empty.
QString extractVidPid(const QString &line);
// The serial value of a line as printed (quotes included), or empty.
QString extractSerial(const QString &line);
// What tells devices apart: the serial, or the VID:PID when there is none.
QString deviceKey(const QString &line);
// Whether a VID:PID text names the target identity (exact case).
bool isTargetDevice(const QString &vidPid);

} // namespace DfuListing
