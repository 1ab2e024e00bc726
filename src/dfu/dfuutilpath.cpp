#include "dfuutilpath.h"

#include "ravlo_config.h"

#include <QCoreApplication>

QString dfuUtilPath()
{
    // Plain concatenation: no search of PATH or the working directory.
    return QCoreApplication::applicationDirPath() +
           QStringLiteral("/" RAVLO_DFU_UTIL_RELATIVE_PATH);
}
