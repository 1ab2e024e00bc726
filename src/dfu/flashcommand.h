#pragma once

#include <QString>
#include <QStringList>

namespace FlashCommand {

// dfu-util's arguments to write an image at the start of the flash of the
// Ravlo device at a USB path and then start the new firmware.
QStringList arguments(const QString &usbPath, const QString &imagePath);

} // namespace FlashCommand
