#include "cachefolder.h"

#include "ravlo_config.h"

#include <QStandardPaths>

namespace CacheFolder {

QString path()
{
    // Not the application's own CacheLocation: that is named after each
    // program, and the two would keep apart what they should share.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QLatin1Char('/') + QLatin1String(RAVLO_SHARED_NAME);
}

} // namespace CacheFolder
