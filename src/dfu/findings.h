#pragma once

#include "diagnosis.h"

// The sentences of the diagnosis: what happened and what to do next, for
// each cause. They are made when asked for, in the language installed then
// and in the words of the front end that shows them.
namespace Diagnosis {

// What the sentences of some causes name besides the cause.
struct Details
{
    Phase phase = Phase::Flash;
    int count = 0;
    QString reason;
    int exitCode = 0;
    qint64 imageSize = 0;
    qint64 flashSize = 0;
    QList<DfuDevice> devices; // what the scan saw
    QString usbPath;          // the device the program named
};

Finding make(Cause cause, const Environment &environment, const Details &details = {});
// Two sentences in a row, as the language writes them (a space in English).
QString sentences(const QString &first, const QString &second);

} // namespace Diagnosis
