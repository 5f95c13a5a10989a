#pragma once

#include "settings/SettingKeys.h"

#include <QLatin1String>
#include <QString>

// The settings store. The program's values live in an INI file (Paths::settingsFile()) at its
// top level; value names compare without regard to case. The autostart value lives in an XDG
// autostart entry. Every write is on disk when the call returns; a failing write throws
// IoError naming the file and leaves the file as it was. Reads never throw for integers and flags.

enum class RegRoot
{
    LocalMachine, // the program's key: "Software\Elbwerk\Zahlwerk"
    CurrentUser,  // the autostart key: "Software\Microsoft\Windows\CurrentVersion\Run"
};

inline constexpr const char *kProgramKey = "Software\\Elbwerk\\Zahlwerk";
inline constexpr const char *kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

void WriteRegString(RegRoot root, const QString &keyPath, const QString &name, const QString &text);
QString ReadRegString(RegRoot root, const QString &keyPath, const QString &name, const QString &defaultText);

// The program path an autostart entry's bytes name: what ReadRegString gives for the autostart
// value (empty for a hidden entry).
QString AutostartPathOf(const QByteArray &entry);

void WriteSettingString(const QString &name, const QString &text);
QString ReadSettingString(const QString &name);
// As ReadSettingString, for places where a value that is no text (written so by another program)
// must not stop the program: such a value reads as empty, so the caller's default applies, and
// the problem goes to the log.
QString ReadSettingText(const QString &name);
void WriteSettingInteger(const QString &name, qint32 value);
qint32 ReadSettingInteger(const QString &name);
void WriteSettingFlag(const QString &name, bool value);
bool ReadSettingFlag(const QString &name);

// The typed reads and writes of the keys in SettingKeys.h, on the functions above: a flag or an
// integer reads as ReadSettingFlag / ReadSettingInteger do, a text as ReadSettingText does; an
// empty value gives the key's fallback as SettingKeys.h says.
namespace Settings {
bool Read(const Flag &key);
qint32 Read(const Integer &key);
QString Read(const Text &key);
QString Read(const Sound &key);
void Write(const Flag &key, bool value);
void Write(const Integer &key, qint32 value);
void Write(const Text &key, const QString &value);
void Write(const Sound &key, const QString &path);

// The value as the file holds it (ReadSettingText), whatever the key's type: for the places that
// look at how a value is written rather than at what it means.
template<typename T> QString StoredText(const Key<T> &key)
{
    return ReadSettingText(QLatin1String(key.name));
}
} // namespace Settings
