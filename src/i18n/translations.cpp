#include "translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

// Q_INIT_RESOURCE must be used outside any namespace. The translations live in
// a static library, so they are registered explicitly.
static void initTranslationResources()
{
    Q_INIT_RESOURCE(translations);
}

namespace {

// The language the user reads messages in: the first of the locale's user
// interface languages (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG on Unix).
bool prefersChinese()
{
    const QLocale system = QLocale::system();
    const QStringList languages = system.uiLanguages();
    const QLocale preferred = languages.isEmpty() ? system : QLocale(languages.first());
    return preferred.language() == QLocale::Chinese;
}

// The first folder that has the file wins.
void install(QCoreApplication &app, const QString &fileName, const QStringList &folders)
{
    auto *translator = new QTranslator(&app);
    for (const QString &folder : folders) {
        if (translator->load(fileName, folder)) {
            QCoreApplication::installTranslator(translator);
            return;
        }
    }
    delete translator;
}

} // namespace

void installTranslations(QCoreApplication &app)
{
    const bool chinese = prefersChinese();
    // The resources' language variants (the instructions picture) follow the
    // default locale, which is made to say the same as the texts.
    if (chinese)
        QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    else if (QLocale().language() == QLocale::Chinese)
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    if (!chinese)
        return;
    initTranslationResources();
    install(app, QStringLiteral("ravlo_zh_CN"), {QStringLiteral(":/i18n")});
    // Qt's own: from Debian's qttranslations5-l10n, or from the folder
    // windeployqt fills beside the program. Without them Qt's few texts (the
    // standard buttons, the command line's help) stay English.
    install(app, QStringLiteral("qt_zh_CN"),
            {QLibraryInfo::location(QLibraryInfo::TranslationsPath),
             QCoreApplication::applicationDirPath() + QStringLiteral("/translations")});
}
