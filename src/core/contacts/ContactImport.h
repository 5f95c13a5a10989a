#pragma once

#include "calls/CallerDirectory.h"
#include "calls/PhoneNumber.h"
#include "contacts/Contact.h"

#include <QList>
#include <QString>

// Names from the user's address book for the caller directory, worked out in full before
// anything is written, so that the user sees what would change and the directory is then
// replaced in one save.
//
// Every number of a contact is one entry, keyed as the ring handler looks the caller up. An
// entry the directory has gets the contact's name when it has no name of its own yet (empty,
// or the number the ring handler learned it with); an entry the user has named keeps its name
// unless the user asks otherwise. A blocked flag is never cleared. A new entry goes before the
// first entry that would otherwise answer its number (a group key such as "0301*", or a shorter
// number), and is blocked when that entry is, so that no import lets a blocked caller through.
struct ContactImport
{
    // Why an entry of the address book is not taken.
    enum Skip
    {
        NoNumber,       // a contact without any number (counted per contact)
        NoName,         // a contact without a name (counted per contact)
        BadNumber,      // a number of which no key can be made
        Twice,          // a number that came before in the file: the first contact has it
        NamedOtherwise, // an entry the user has named otherwise, kept
        SkipCount
    };

    // The directory after the import: the rows given, in their order, with new entries where
    // they belong.
    QList<CallerRecord> Rows;
    int New = 0;
    int Renamed = 0;
    int Unchanged = 0;
    int Skipped[SkipCount] = {};
    // Entries the user has named that the address book names otherwise (replaced only when
    // asked; otherwise counted as skipped NamedOtherwise).
    int NamedDiffering = 0;

    bool HasChanges() const { return New + Renamed > 0; }
    int SkippedTotal() const;
    // The counts for the user, one per line ("\r" between lines, as the message dialog shows
    // them): new, changed name, unchanged, skipped and why.
    QString Summary() const;
};

// The directory key under which the ring handler finds the caller of a number as people write
// it: a number of the plan's country without its "0" (as the line delivers it), a number of
// another country with its country code, and with "Null erzeugen" the prefix the ring handler
// puts in front: "0" for a number of the plan's country, "00" for another country's. Empty when
// the text holds no number.
QString DirectoryKeyOf(const QString &phone, const NumberPlan &plan, bool createNull);

// Plans the import of `contacts` into the directory rows `rows` (in their order).
// `replaceNamed`: entries the user has named get the address book's name as well.
ContactImport PlanContactImport(const QList<CallerRecord> &rows, const QList<Contact> &contacts,
                                const NumberPlan &plan, bool createNull, bool replaceNamed);

// What importing an address book file would do, read and planned in one go (for a worker thread:
// a large file takes seconds to read, and the main thread answers rings meanwhile).
struct ContactImportPlans
{
    // The file cannot be read, holds no contacts, or is too large for the memory left: the text
    // for the user, and no plans.
    QString Error;
    // Entries the user has named keep their names.
    ContactImport KeepNamed;
    // They get the address book's names too; planned only when the address book names some of
    // them otherwise (KeepNamed.NamedDiffering), for the user to choose.
    ContactImport ReplaceNamed;
};

// Reads the address book `path` and plans its import into `rows` both ways.
ContactImportPlans ReadContactImport(const QString &path, const QList<CallerRecord> &rows,
                                     const NumberPlan &plan, bool createNull);
