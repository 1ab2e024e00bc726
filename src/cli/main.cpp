#include "cli/flashcli.h"
#include "i18n/translations.h"
#include "ravlo_config.h"

#include <QCoreApplication>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    installTranslations(app);
    QCoreApplication::setApplicationName(QStringLiteral("ravlo-flash"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RAVLO_APPLICATION_VERSION));
    // The engine's diagnostic channel is for developers (QT_LOGGING_RULES
    // turns it back on); what users read is the program's own output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false\n"
                                                    "default.warning=false"));
    return runFlashCli(QCoreApplication::arguments());
}
