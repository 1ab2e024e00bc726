#include "application.h"

#include "i18n/translations.h"
#include "net/requestpolicy.h"
#include "ravlo_config.h"
#include "session/interruptwatch.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

// Q_INIT_RESOURCE must be used outside any namespace. The resources live in a
// static library, so they are registered explicitly.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

void prepareApplication()
{
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Qt would round 150 % up to 200 % and 125 % down to 100 %; the window
    // then comes out far too large or keeps the grown fonts of the desktop
    // in its unscaled fixed geometry, cutting texts off.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

void setupApplication(QApplication &app)
{
    initResources();
    installTranslations(app);
    QCoreApplication::setApplicationVersion(QStringLiteral(RAVLO_APPLICATION_VERSION));
    RequestPolicy::useSystemProxy();

    // An unreadable sheet is not reported: the program then runs unstyled.
    QFile styleSheet(QStringLiteral(":/Styles/MainWindow.qss"));
    if (styleSheet.open(QIODevice::ReadOnly)) {
        // The sheet is Latin-1 text; anything after a NUL byte is not part of it.
        app.setStyleSheet(QString::fromLatin1(styleSheet.readAll().constData()));
        styleSheet.close();
    }
}

void closeOnInterrupt(QWidget &window)
{
    auto *watch = new InterruptWatch(&window);
    QObject::connect(watch, &InterruptWatch::interrupted, &window, [&window] {
        window.close();
        // Also out of a dialog's own loop, which would keep the program running.
        QCoreApplication::quit();
    });
}
