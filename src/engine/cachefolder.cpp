#include "cachefolder.h"

#include "ravlo_config.h"

#include <QStandardPaths>

namespace CacheFolder {

QString path()
{
    // Not the application's own CacheLocation: that is named after each
    // program, and the two would keep apart what they should share.
#ifdef RAVLO_DEMO
    const QString name = QStringLiteral("RavloFirmwareDownloader-demo");
#else
    const QString name = QStringLiteral("RavloFirmwareDownloader");
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QLatin1Char('/') + name;
}

} // namespace CacheFolder
