#pragma once

#include <QString>

// Texts of the firmware download's progress bar.
namespace DownloadProgress {

// Whole percent of total, truncated, within 0..100.
int percent(qint64 received, qint64 total);
// Average speed in KB/s of bytes moved in elapsedMs.
double kilobytesPerSecond(qint64 bytes, qint64 elapsedMs);
// "512.0 KB/s" below 1024 KB/s, "1.5 MB/s" from there on.
QString speedText(double kilobytesPerSecond);
// "Download firmware: 40% (1.5 MB/s) remaining: 12s". Without a positive
// speed the remaining time cannot be estimated and reads "unknown".
QString barText(int percent, double kilobytesPerSecond, qint64 remainingBytes);

} // namespace DownloadProgress
