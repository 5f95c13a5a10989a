#pragma once

#include "calls/PhoneNumber.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

// The largest address book files read, by kind. vCards may carry photos.
constexpr qint64 kMaxVCardFileSize = 64 * 1024 * 1024;
constexpr qint64 kMaxCsvFileSize = 32 * 1024 * 1024;

// The most digits a telephone number has in its international form; a longer one is no number.
constexpr qsizetype kMaxNumberDigits = 32;

// One entry of a user's address book, as the readers of vCard and CSV files give it.
struct Contact
{
    QString Surname;
    QString GivenName;
    QString FullName;     // the formatted name, when the file gives one
    QString Organisation; // company and department, joined by a blank
    QString Street;
    QString PostalCode;
    QString Locality;
    QStringList Phones; // as written in the file

    // The name to show: "Surname, Given name", else the full name, else the organisation.
    QString DisplayName() const;
    bool hasName() const { return !Surname.isEmpty() || !FullName.isEmpty() || !Organisation.isEmpty(); }
};

// A contact's number in its international form (PhoneNumber::International); empty when the
// text holds no number or one of more than kMaxNumberDigits digits.
QString ContactNumber(const QString &phone, const NumberPlan &plan);

// The text of an address book file: UTF-16 or UTF-8 with a byte order mark, else UTF-8 when the
// bytes are valid UTF-8, else Windows-1252 (what older Windows programs write).
QString DecodeContactText(QByteArrayView bytes);

// The contacts of one vCard (.vcf, .vcard) or CSV file, told apart by their content. A file that
// cannot be read gives none and sets *error.
QList<Contact> ReadContactFile(const QString &path, QString *error = nullptr);
// The contacts of a file's bytes, told apart the same way.
QList<Contact> ReadContactBytes(const QByteArray &bytes);
