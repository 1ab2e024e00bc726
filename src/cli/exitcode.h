#pragma once

#include "engine/upgradeengine.h"

// ravlo-flash's exit codes, as its --help and the README list them.
namespace ExitCode {

constexpr int kOk = 0;
constexpr int kUsage = 2;   // a command or option that makes no sense
constexpr int kDevice = 3;  // no device to write, several without a choice, or no usable dfu-util
constexpr int kNetwork = 4; // the manifest or the image not downloaded, or the manifest refused
constexpr int kVerification = 5;  // the image is not the one its digest names
constexpr int kFlash = 6;         // a device was not written (one of several under --all or --wait)
constexpr int kInterrupted = 130; // Ctrl-C, SIGTERM or SIGHUP stopped a single upgrade

inline int forStage(UpgradeFailure::Stage stage)
{
    switch (stage) {
    case UpgradeFailure::Stage::Scan:
        return kDevice;
    case UpgradeFailure::Stage::Manifest:
    case UpgradeFailure::Stage::Download:
        return kNetwork;
    case UpgradeFailure::Stage::Verify:
        return kVerification;
    case UpgradeFailure::Stage::Flash:
        break;
    }
    return kFlash;
}

} // namespace ExitCode
