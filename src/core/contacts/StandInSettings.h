#pragma once

#include "calls/PhoneNumber.h"

#include <QString>
#include <QStringList>

// The stand-in directory program's settings: which address books it reads and the user's own
// country and area code. They live in <config folder>/rufwart/dinfo.ini:
//
//   [AddressBook]
//   Source=/home/anna/Kontakte.vcf
//   Source=/home/anna/Adressen
//   CountryCode=49
//   AreaCode=30
//
// Each Source line names a file or a folder; without any, the default folders count.
struct StandInSettings
{
    QStringList Sources;
    QString CountryCode = QStringLiteral("49");
    QString AreaCode;

    static QString File();
    // The folders read when no source is set: <data folder>/adressbuch/ (made on first use)
    // and the folder of vCard files that KDE's address book keeps, when there is one.
    static QStringList DefaultSources();
    // Reads the settings file; a missing file gives the defaults.
    static StandInSettings Read();
    // Replaces the settings file (atomically); throws IoError.
    void Write() const;

    QStringList SourcesInUse() const { return Sources.isEmpty() ? DefaultSources() : Sources; }
    NumberPlan Plan() const { return NumberPlan::fromText(CountryCode, AreaCode); }
};
