#pragma once

#include "contacts/Contact.h"

#include <QList>
#include <QString>
#include <QStringList>

// The fields of a row that are read; the rest of a longer row is dropped. Exports of address
// books have fewer than a hundred columns.
constexpr qsizetype kMaxCsvFields = 1000;

// The records of CSV text: fields in double quotes may hold the delimiter, line breaks and
// doubled quotes; line ends may be CR LF or LF. Empty lines are skipped.
QList<QStringList> ParseCsv(const QString &text, QChar delimiter);

// The delimiter of CSV text, judged by its first line outside quotes: the most frequent of
// ";", "," and tab (";" when none occurs).
QChar GuessCsvDelimiter(const QString &text);

// Contacts from a CSV export with a header row: the columns are recognised by their headings in
// English and German as common address book and spreadsheet exports write them (Thunderbird,
// Outlook, Google, a hand-made table with "Name;Vorname;Telefon"). Every column whose heading
// names a telephone, mobile or fax number contributes its numbers; a column that names the kind
// of a value (Google's "… - Type", "… - Label") is none; a field holding several
// numbers separated by " ::: " gives each. Text without a recognisable name or number column
// gives no contacts.
QList<Contact> ReadCsvContacts(const QString &text);
