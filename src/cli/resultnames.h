#pragma once

#include "engine/upgradeengine.h"

#include <QString>

// The names a device's result goes by in ravlo-flash's JSON events and its
// records; scripts read them, so they never change.
namespace ResultName {

// How a device's run ended.
enum class Verdict
{
    Verified, // written and read back
    Written,  // written, not read back (--no-verify)
    Unproven, // written, but the device refused to be read back
    Failed,
    Refused, // nothing was written
};

QString verdict(Verdict verdict);
QString cause(Diagnosis::Cause cause);
QString stage(UpgradeFailure::Stage stage);
// A failed run's verdict in a record: Refused when nothing was written (the
// device was not found or could not be opened, the image was not to be had
// or does not fit), else Failed.
Verdict failure(const UpgradeFailure &failure);

} // namespace ResultName
