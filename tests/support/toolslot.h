#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

// Puts something at the place where the code under test looks for dfu-util
// (beside the test binary, each of which has a folder of its own).
namespace ToolSlot {

QString path();

// The real dfu-util 0.11 the build was configured with.
bool installRealTool();
// Any executable, for example the stand-in tool.
bool installExecutable(const QString &source);
// A file of the given content and permissions (an unusable tool).
bool installContent(const QByteArray &content, QFileDevice::Permissions permissions);
// Nothing at all.
bool remove();

QString realToolPath();

} // namespace ToolSlot
