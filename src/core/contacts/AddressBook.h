#pragma once

#include "calls/PhoneNumber.h"
#include "common/FileStamp.h"
#include "contacts/Contact.h"

#include <QHash>
#include <QList>
#include <QStringList>

// The contacts of a user's address book files, found by telephone number. Sources are files
// (vCard or CSV, told apart by their content) and folders, of which every .vcf, .vcard and .csv
// file counts, subfolders included. Numbers are compared in their international form
// (PhoneNumber), so "+49 30 1234567" in a card answers the line's "301234567". When two contacts
// share a number, the first one read wins: sources in the order given, a folder's files by name.
class AddressBook
{
public:
    // Reads every source. Sources that cannot be read are skipped and named in errors().
    void Load(const QStringList &sources, const NumberPlan &plan);
    // Loads again when a file of the sources changed, appeared or vanished since the last load;
    // true when it did.
    bool Refresh();

    // The contact for a number as the line delivers it (the forms of PhoneNumber::LineForms,
    // the most likely first); null when no contact has it.
    const Contact *Find(const QString &lineNumber) const;

    qsizetype size() const { return m_contacts.size(); }
    // The files read by the last load, and what could not be read.
    QStringList files() const { return m_stamps.keys(); }
    QStringList errors() const { return m_errors; }

    // The address book files a source stands for: the file itself, or the contact files in a
    // folder and its subfolders, sorted.
    static QStringList FilesOf(const QString &source);

private:
    QHash<QString, FileStamp> CurrentStamps() const;

    QStringList m_sources;
    NumberPlan m_plan;
    QList<Contact> m_contacts;
    QHash<QString, qsizetype> m_index; // international number -> contact
    QHash<QString, FileStamp> m_stamps;
    QStringList m_errors;
};
