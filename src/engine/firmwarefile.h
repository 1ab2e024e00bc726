#pragma once

#include <QDateTime>
#include <QString>

// The downloaded firmware image on disk.
namespace FirmwareFile {

// "Ravlo_firmware_<version>_<yyyyMMdd_hhmmss>.bin". The version comes from the
// manifest, so anything in it other than letters, digits, '.', '-', '_' and
// '+' is replaced by '_': the name can never reach outside its directory.
QString fileName(const QString &version, const QDateTime &start);

} // namespace FirmwareFile
