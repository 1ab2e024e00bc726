#pragma once

#include <QList>

#include <algorithm>

// The middle one of a benchmark's values (of an even count, the upper one).
inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}
