#pragma once

#include <QByteArray>

class LoopbackServer;

// The sample release of the demo bucket (scripts/demo.sh).
namespace DemoRelease {

// The firmware image: fixed bytes, so every run of the demo writes the same.
QByteArray image();
// Serves the release: a manifest of this program's version naming firmware
// "1.2" and the image's digest, the image, and the two product pictures
// marked "DEMO".
void serve(LoopbackServer &bucket);

} // namespace DemoRelease
