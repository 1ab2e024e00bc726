#include "cli/flashcli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return runFlashCli(app, Endpoints::production());
}
