#include "dfuutilpath.h"

#include "ravlo_config.h"

#include <QCoreApplication>
#include <QFileInfo>

QString dfuUtilPath()
{
    // Plain concatenation: no search of PATH or the working directory.
    return QCoreApplication::applicationDirPath() +
           QStringLiteral("/" RAVLO_DFU_UTIL_RELATIVE_PATH);
}

QString dfuUtilProblem(const QString &path)
{
    const QFileInfo tool(path);
    if (!tool.exists())
        return QCoreApplication::translate("DfuUtilPath", "dfu-util does not exist: %1").arg(path);
    if (!tool.isExecutable())
        return QCoreApplication::translate("DfuUtilPath", "dfu-util is not executable: %1")
            .arg(path);
    return QString();
}

QString dfuUtilShownPath(const QString &path)
{
    const QFileInfo tool(path);
    return tool.isSymLink() ? path + QStringLiteral(" -> ") + tool.canonicalFilePath() : path;
}
