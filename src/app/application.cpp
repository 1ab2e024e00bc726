#include "application.h"

#include <QApplication>
#include <QFile>

const char *const kApplicationVersion = "V1.0.0";

// Q_INIT_RESOURCE must be used outside any namespace. The resources live in a
// static library, so they are registered explicitly.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

void setupApplication(QApplication &app)
{
    initResources();
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kApplicationVersion));

    // An unreadable sheet is not reported: the program then runs unstyled.
    QFile styleSheet(QStringLiteral(":/Styles/MainWindow.qss"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        // The sheet is Latin-1 text; anything after a NUL byte is not part of it.
        app.setStyleSheet(QString::fromLatin1(styleSheet.readAll().constData()));
        styleSheet.close();
    }
}
