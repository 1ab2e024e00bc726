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
constexpr int kNotKept = 7;       // a device gave back something else than was written
constexpr int kUnproven = 8;      // written, but the device refused to be read back
constexpr int kInterrupted = 130; // Ctrl-C, SIGTERM or SIGHUP stopped a single upgrade

inline int forFailure(const UpgradeFailure &failure)
{
    if (failure.finding.cause == Diagnosis::Cause::NotKept)
        return kNotKept;
    switch (failure.stage) {
    case UpgradeFailure::Stage::Scan:
        return kDevice;
    case UpgradeFailure::Stage::Manifest:
    case UpgradeFailure::Stage::Download:
        return kNetwork;
    case UpgradeFailure::Stage::Verify:
        return kVerification;
    case UpgradeFailure::Stage::Flash:
    case UpgradeFailure::Stage::ReadBack:
        break;
    }
    return kFlash;
}

// Of several devices' verdicts: any not written, else any that did not keep
// the image, else any not proven.
inline int forDevices(int failed, int notKept, int unproven)
{
    return failed > notKept ? kFlash : notKept > 0 ? kNotKept : unproven > 0 ? kUnproven : kOk;
}

} // namespace ExitCode
