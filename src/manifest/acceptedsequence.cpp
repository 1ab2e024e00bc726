#include "acceptedsequence.h"

#include "ravlo_config.h"

#include <QSettings>

namespace AcceptedSequence {

namespace {

// A demo build's signings are not the maker's: its settings are its own.
const char kSettings[] = RAVLO_SHARED_NAME;
const char kKey[] = "manifest/highestSequence";

} // namespace

qint64 highest()
{
    return QSettings(QLatin1String(kSettings)).value(QLatin1String(kKey), 0).toLongLong();
}

void raise(qint64 sequence)
{
    QSettings settings((QLatin1String(kSettings)));
    if (sequence > settings.value(QLatin1String(kKey), 0).toLongLong())
        settings.setValue(QLatin1String(kKey), sequence);
}

} // namespace AcceptedSequence
