#pragma once

#include <QString>

// The folder both programs keep files in between runs: the window's product
// pictures, the verified firmware images and the update information that
// named them. One folder for the window and ravlo-flash, as they share their
// settings: ~/.cache/RavloFirmwareDownloader on Linux (a demo build keeps
// its own).
namespace CacheFolder {

QString path();

} // namespace CacheFolder
