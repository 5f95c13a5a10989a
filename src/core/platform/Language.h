#pragma once

#include <QLocale>
#include <QString>

// The language the program speaks. Its texts are written in German, which needs no translation;
// every other language of the desktop gets the English translation (rufwart_en.qm, built into
// the program). Qt's own dialogs and buttons follow through Qt's translations.
namespace Language {
inline constexpr char kGerman[] = "de";
inline constexpr char kEnglish[] = "en";

// "de" or "en": the choice of the "Sprache" setting when it names one of them, else the
// locale's: German for every German locale (de_DE, de_AT, de_CH ...), English for the rest.
QString Chosen(const QString &setting, const QLocale &locale);
// Installs the translators of `language` ("de" or "en") on the running application, before the
// first window, in place of those an earlier call installed: the program's own (none for German)
// and Qt's from its translations folder (none for English). What is missing (Qt's translations
// not installed) leaves those texts as they are.
void Install(const QString &language);
// The setting's choice, or the desktop's language for messages when it makes none (the first of
// LANGUAGE, LC_ALL, LC_MESSAGES, LANG); a settings file that cannot be read counts as no choice.
QString FromSettings();
} // namespace Language
