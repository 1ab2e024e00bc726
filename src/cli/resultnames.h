#pragma once

#include "engine/upgradeengine.h"

#include <QString>

// The names a device's result goes by in ravlo-flash's JSON events and its
// records; scripts read them, so they never change.
namespace ResultName {

QString cause(Diagnosis::Cause cause);
QString stage(UpgradeFailure::Stage stage);
// A failed run's verdict in a record: "refused" when nothing was written
// (the device was not found or could not be opened, the image was not to be
// had or does not fit), else "failed".
QString failure(const UpgradeFailure &failure);

} // namespace ResultName
