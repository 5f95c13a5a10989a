#pragma once

#include "calls/PhoneNumber.h"
#include "contacts/AddressBook.h"

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

// Answers reverse searches from the address books: the answer file "dinfo.prz" in `folder`
// gets the request as its first line and, when a contact has the number, the answer line.
class StandIn
{
public:
    StandIn(const StandInSettings &settings, const QString &folder);

    // Carries out "R;<number>": true when the answer file was written; false with the reason
    // for a request it does not know or a file it cannot write.
    bool Execute(const QString &command, QString *refusal);
    // The last request carried out (the value of D-Info 97's advise item).
    QString LastRequest() const { return m_lastRequest; }

    // The answer line for a number, or empty when no contact has it. The address books are read
    // again first when one of their files changed.
    QString AnswerFor(const QString &number);
    const AddressBook &Book() const { return m_book; }

private:
    QString m_folder;
    AddressBook m_book;
    QString m_lastRequest;
};
