#include "versioncompare.h"

#include <QStringList>

#include <algorithm>

namespace Version {

namespace {
QStringList parts(const QString &version)
{
    QString text = version.trimmed().toUpper();
    if (text.startsWith(QLatin1Char('V')))
        text.remove(0, 1);
    return text.split(QLatin1Char('.'), Qt::SkipEmptyParts);
}

int partAt(const QStringList &list, int index)
{
    return index < list.size() ? list.at(index).toInt() : 0;
}
} // namespace

int compare(const QString &a, const QString &b)
{
    const QStringList left = parts(a);
    const QStringList right = parts(b);
    const int count = std::max(left.size(), right.size());
    for (int i = 0; i < count; ++i) {
        const int x = partAt(left, i);
        const int y = partAt(right, i);
        if (x != y)
            return x > y ? 1 : -1;
    }
    return 0;
}

} // namespace Version
