#pragma once

#include <QString>
#include <QStringList>

// The three runs of dfu-util that put an image into a device: write it
// without leaving DFU mode, read it back, and only then leave DFU mode.
enum class FlashStep
{
    Write,
    ReadBack,
    Leave,
};

// dfu-util's arguments for each step, on the Ravlo device at a USB path, with
// the image at the start of its flash.
namespace FlashCommand {

QStringList write(const QString &usbPath, const QString &imagePath);
// length bytes into a file that must not exist yet: the tool refuses to
// overwrite one, and a DfuSe device gives only 0x4000 bytes without a length.
QStringList readBack(const QString &usbPath, qint64 length, const QString &filePath);
// Starts the firmware at the start of the flash.
QStringList leave(const QString &usbPath);

} // namespace FlashCommand
