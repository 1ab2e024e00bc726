#include "attachtracker.h"

namespace {

QString attachKey(const DfuDevice &device)
{
    return QStringLiteral("%1 devnum=%2").arg(device.path).arg(device.devnum);
}

// A message that names no bus address (older tools) stands for itself.
QString refusalKey(const QString &message)
{
    const int devnum = DfuScan::devnumIn(message);
    return devnum < 0 ? message : QStringLiteral("devnum=%1").arg(devnum);
}

} // namespace

AttachTracker::News AttachTracker::update(const QList<DfuDevice> &devices,
                                          const QStringList &problems, const QList<DfuDevice> &busy)
{
    QSet<QString> attached;
    QSet<QString> busyRefusals;
    for (const DfuDevice &device : busy) {
        attached.insert(attachKey(device));
        busyRefusals.insert(QStringLiteral("devnum=%1").arg(device.devnum));
    }
    News news;
    for (const DfuDevice &device : devices) {
        const QString key = attachKey(device);
        attached.insert(key);
        if (!m_taken.contains(key))
            news.devices << device;
    }
    for (const QString &problem : problems) {
        const QString key = refusalKey(problem);
        if (busyRefusals.contains(key) || attached.contains(key))
            continue;
        attached.insert(key);
        if (!m_taken.contains(key))
            news.refusals << problem;
    }
    // Taken until gone; whatever is new is taken now.
    m_taken = attached;
    return news;
}
