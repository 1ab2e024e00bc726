#include "toolslot.h"

#include "dfu/dfuutilpath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ToolSlot {

namespace {
const QFileDevice::Permissions kExecutable = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                             | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                             | QFileDevice::ExeGroup;

bool prepare()
{
    remove();
    return QDir().mkpath(QFileInfo(path()).absolutePath());
}
} // namespace

QString path()
{
    return dfuUtilPath();
}

QString realToolPath()
{
    return QStringLiteral(RAVLO_TEST_REAL_DFU_UTIL);
}

bool installRealTool()
{
    return installExecutable(realToolPath());
}

bool installExecutable(const QString &source)
{
    return prepare() && QFile::copy(source, path()) && QFile::setPermissions(path(), kExecutable);
}

bool installContent(const QByteArray &content, QFileDevice::Permissions permissions)
{
    if (!prepare())
        return false;
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return QFile::setPermissions(path(), permissions);
}

bool remove()
{
    return !QFileInfo::exists(path()) || QFile::remove(path());
}

} // namespace ToolSlot
