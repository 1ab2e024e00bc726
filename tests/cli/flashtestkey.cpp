// ravlo-flash as a build that trusts the tests' maker key (TestKeys::maker())
// would be, on a computer that trusts the tests' CA (an https bucket on
// loopback): the same command line, run by tst_ravloflash.

#include "cli/flashcli.h"
#include "rig.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    LoopbackServer::trustTestCa();
    Endpoints built = Endpoints::production();
    built.manifestKeys = QStringList{TestKeys::maker().publicKey()};
    return runFlashCli(app, built);
}
