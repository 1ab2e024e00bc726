#include "versioncompare.h"

#include <QRegularExpression>
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

// A part as a number of any length: its digits without leading zeros, or
// "" (zero) when the part is not a number.
QString numberAt(const QStringList &list, int index)
{
    if (index >= list.size())
        return QString();
    const QString &part = list.at(index);
    if (part.isEmpty() || !std::all_of(part.begin(), part.end(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        }))
        return QString();
    const int firstSignificant = part.indexOf(QRegularExpression(QStringLiteral("[1-9]")));
    return firstSignificant < 0 ? QString() : part.mid(firstSignificant);
}

int compareNumbers(const QString &a, const QString &b)
{
    // Without leading zeros, the longer number is the larger one.
    if (a.size() != b.size())
        return a.size() > b.size() ? 1 : -1;
    const int order = a.compare(b);
    return order == 0 ? 0 : (order > 0 ? 1 : -1);
}
} // namespace

int compare(const QString &a, const QString &b)
{
    const QStringList left = parts(a);
    const QStringList right = parts(b);
    const int count = std::max(left.size(), right.size());
    for (int i = 0; i < count; ++i) {
        const int order = compareNumbers(numberAt(left, i), numberAt(right, i));
        if (order != 0)
            return order;
    }
    return 0;
}

} // namespace Version
