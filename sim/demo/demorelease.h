#pragma once

#include <QByteArray>

class LoopbackServer;

// The sample release of the demo bucket (scripts/demo.sh).
namespace DemoRelease {

// What the bucket does wrong (scripts/demo.sh --fault).
enum class Fault
{
    None,
    Tampered, // the manifest names another digest than the one signed
    Replayed, // after the first signature, an older release's (sequence 1)
    Expired,  // signed with an expiry in the past
    Dropped,  // the image's connection ends at half, every other time
};

// The firmware image: fixed bytes, so every run of the demo writes the same.
QByteArray image();
// Serves the release: a manifest of this program's version naming firmware
// "1.2" and the image's digest, signed with the demo key (sequence 2, valid
// for 30 days), the image, and the two product pictures marked "DEMO".
void serve(LoopbackServer &bucket, Fault fault = Fault::None);

} // namespace DemoRelease
