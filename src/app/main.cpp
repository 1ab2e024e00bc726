#include "application.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    prepareApplication();
    QApplication app(argc, argv);
    setupApplication(app);
    MainWindow window;
    closeOnInterrupt(window);
    window.show();
    return app.exec();
}
