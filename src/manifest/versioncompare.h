#pragma once

#include <QString>

namespace Version {

// 1 when a is newer than b, -1 when older, 0 when equal. Versions are
// dot-separated numbers with an optional leading "V" or "v"; a missing or
// non-numeric part counts as 0. Parts are numbers of any length.
int compare(const QString &a, const QString &b);

} // namespace Version
