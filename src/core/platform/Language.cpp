#include "platform/Language.h"

#include "common/Errors.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

QString Language::Chosen(const QString &setting, const QLocale &locale)
{
    const QString choice = setting.trimmed().toLower();
    if (choice == QLatin1String(kGerman) || choice == QLatin1String(kEnglish))
        return choice;
    return locale.language() == QLocale::German ? QString::fromLatin1(kGerman)
                                                : QString::fromLatin1(kEnglish);
}

QString Language::FromSettings()
{
    QString setting;
    try {
        setting = Settings::Read(Settings::Language);
    } catch (const IoError &) {
    }
    // The language the desktop wants messages in (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
    const QStringList desktop = QLocale::system().uiLanguages();
    return Chosen(setting, desktop.isEmpty() ? QLocale::system() : QLocale(desktop.constFirst()));
}

void Language::Install(const QString &language)
{
    // The translators an earlier call installed make way for the new ones.
    static QList<QTranslator *> installed;
    for (QTranslator *translator : std::as_const(installed)) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
    installed.clear();
    auto install = [](const QString &name, const QString &folder) {
        auto *translator = new QTranslator(QCoreApplication::instance());
        if (!translator->load(name, folder)) {
            delete translator;
            return;
        }
        QCoreApplication::installTranslator(translator);
        installed.append(translator);
    };
    // German is the language the texts are written in; Qt's own texts are English.
    if (language == QLatin1String(kGerman))
        install(QStringLiteral("qt_de"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    else
        install(QStringLiteral("rufwart_") + language, QStringLiteral(":/i18n"));
}
