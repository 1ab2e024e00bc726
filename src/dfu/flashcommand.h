#pragma once

#include <QString>
#include <QStringList>

namespace FlashCommand {

// dfu-util's arguments to write an image at the start of the device's flash
// and then start the new firmware. An empty identity means the target's.
QStringList arguments(const QString &vidPid, const QString &imagePath);

} // namespace FlashCommand
