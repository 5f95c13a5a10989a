#include "contacts/CsvReader.h"

#include <QRegularExpression>

#include <array>
#include <optional>
#include <utility>

namespace {

// The words of a heading, lower case: "Mobil-Tel.-Nr." -> mobil, tel, nr.
QStringList wordsOf(const QString &heading)
{
    static const QRegularExpression nonLetters(QStringLiteral("[^\\p{L}\\p{N}]+"));
    return heading.toLower().split(nonLetters, Qt::SkipEmptyParts);
}

bool hasWord(const QStringList &words, std::initializer_list<const char *> wanted)
{
    for (const char *w : wanted) {
        if (words.contains(QLatin1String(w)))
            return true;
    }
    return false;
}

// Google's "Phone 1 - Type", "Organization 1 - Type" and "Address 1 - Label" name the kind of a
// value that another column holds.
bool namesAKind(const QStringList &words)
{
    return hasWord(words, {"type", "label", "typ", "art"});
}

bool isPhoneHeading(const QString &heading)
{
    const QStringList words = wordsOf(heading);
    if (namesAKind(words))
        return false;
    if (hasWord(words, {"phone", "telephone", "tel", "telefon", "fon", "mobile", "mobil", "handy", "cell",
                        "fax", "pager", "rufnummer", "telefonnummer", "mobiltelefon", "mobilfunk",
                        "faxnummer", "autotelefon", "isdn", "funk"}))
        return true;
    const QString lower = heading.toLower();
    return lower.contains(QLatin1String("phone")) || lower.contains(QLatin1String("telefon")) ||
           lower.contains(QLatin1String("mobil"));
}

struct Columns
{
    int Surname = -1;
    int Given = -1;
    int Full = -1;
    int Organisation = -1;
    int Street = -1;
    int PostalCode = -1;
    int Locality = -1;
    QList<int> Phones;
};

Columns classify(const QStringList &headings)
{
    Columns c;
    int plainName = -1;
    int address = -1; // a heading that says only "address"
    auto takeFirst = [](int &slot, int column) {
        if (slot < 0)
            slot = column;
    };
    for (int i = 0; i < headings.size(); ++i) {
        const QString h = headings[i].trimmed().toLower();
        const QStringList words = wordsOf(h);
        if (isPhoneHeading(h)) {
            c.Phones << i;
            continue;
        }
        if (namesAKind(words))
            continue;
        if (h == QLatin1String("name")) {
            plainName = i;
        } else if (hasWord(words, {"nachname", "familienname", "surname", "lastname"}) ||
                   h == QLatin1String("last name") || h == QLatin1String("family name")) {
            takeFirst(c.Surname, i);
        } else if (hasWord(words, {"vorname", "firstname", "rufname"}) || h == QLatin1String("first name") ||
                   h == QLatin1String("given name")) {
            takeFirst(c.Given, i);
        } else if (h == QLatin1String("display name") || h == QLatin1String("full name") ||
                   hasWord(words, {"anzeigename"})) {
            takeFirst(c.Full, i);
        } else if (hasWord(words, {"organization", "organisation", "company", "firma", "unternehmen"}) &&
                   !hasWord(words, {"title", "department", "abteilung", "position", "job"})) {
            takeFirst(c.Organisation, i);
        } else if (hasWord(words, {"street", "straße", "strasse", "str"})) {
            takeFirst(c.Street, i);
        } else if (hasWord(words, {"zip", "zipcode", "plz", "postleitzahl", "postcode", "postalcode"}) ||
                   h.contains(QLatin1String("postal code"))) {
            takeFirst(c.PostalCode, i);
        } else if (hasWord(words, {"city", "ort", "stadt", "wohnort", "town"})) {
            takeFirst(c.Locality, i);
        } else if (hasWord(words, {"address", "adresse", "anschrift"}) &&
                   !hasWord(words, {"email", "mail", "e", "web", "url"})) {
            takeFirst(address, i);
        }
    }
    // A street column ("Address 1 - Street") wins over one that holds the whole address
    // ("Address 1 - Formatted"); "Address 1 - City" and "- Postal Code" are the city and the code.
    takeFirst(c.Street, address);
    if (plainName >= 0) {
        // "Name" beside "Vorname" is the surname of a hand-made table; beside a surname column
        // (Google) or alone it is the whole name.
        if (c.Surname < 0 && c.Given >= 0)
            c.Surname = plainName;
        else
            takeFirst(c.Full, plainName);
    }
    return c;
}

QString field(const QStringList &row, int column)
{
    return column >= 0 && column < row.size() ? row[column].simplified() : QString();
}

// Hands each record of CSV text to `take`, in order: the rows are never all held at once.
template<typename Take> void forEachRow(const QString &text, QChar delimiter, Take take)
{
    QStringList row;
    QString current;
    bool quoted = false;
    bool fieldStarted = false;
    auto endField = [&] {
        if (row.size() < kMaxCsvFields)
            row << current;
        current.clear();
        fieldStarted = false;
    };
    auto endRow = [&] {
        endField();
        if (!(row.size() == 1 && row.front().isEmpty()))
            take(std::move(row));
        // Not clear(): that would give every later row the capacity of the longest one.
        row = QStringList();
    };
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                    current += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                current += c;
            }
            continue;
        }
        if (c == QLatin1Char('"') && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
        } else if (c == delimiter) {
            endField();
        } else if (c == QLatin1Char('\r')) {
            if (i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            endRow();
        } else if (c == QLatin1Char('\n')) {
            endRow();
        } else {
            current += c;
            fieldStarted = true;
        }
    }
    if (fieldStarted || !current.isEmpty() || !row.isEmpty())
        endRow();
}

} // namespace

QList<QStringList> ParseCsv(const QString &text, QChar delimiter)
{
    QList<QStringList> rows;
    forEachRow(text, delimiter, [&](QStringList &&row) { rows << std::move(row); });
    return rows;
}

QChar GuessCsvDelimiter(const QString &text)
{
    const std::array<QChar, 3> candidates{QLatin1Char(';'), QLatin1Char(','), QLatin1Char('\t')};
    std::array<int, 3> counts{};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (quoted)
            continue;
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            break;
        for (size_t i = 0; i < candidates.size(); ++i)
            counts[i] += c == candidates[i];
    }
    size_t best = 0;
    for (size_t i = 1; i < candidates.size(); ++i) {
        if (counts[i] > counts[best])
            best = i;
    }
    return candidates[best];
}

QList<Contact> ReadCsvContacts(const QString &text)
{
    // Row by row: a large table is never held as rows beside the contacts made of it.
    std::optional<Columns> columns;
    bool usable = false;
    QList<Contact> contacts;
    forEachRow(text, GuessCsvDelimiter(text), [&](QStringList &&row) {
        if (!columns) {
            columns = classify(row);
            usable = !columns->Phones.isEmpty() && (columns->Surname >= 0 || columns->Given >= 0 ||
                                                    columns->Full >= 0 || columns->Organisation >= 0);
            return;
        }
        if (!usable)
            return;
        Contact c;
        c.Surname = field(row, columns->Surname);
        c.GivenName = field(row, columns->Given);
        c.FullName = field(row, columns->Full);
        c.Organisation = field(row, columns->Organisation);
        c.Street = field(row, columns->Street);
        c.PostalCode = field(row, columns->PostalCode);
        c.Locality = field(row, columns->Locality);
        // The number columns in their order, as far as the row goes: a short row costs its own
        // length, not the header's.
        for (int column : columns->Phones) {
            if (column >= row.size())
                break;
            for (const QString &part : field(row, column).split(QStringLiteral(":::"))) {
                const QString number = part.trimmed();
                if (!number.isEmpty())
                    c.Phones << number;
            }
        }
        if (c.hasName() || !c.GivenName.isEmpty() || !c.Phones.isEmpty())
            contacts << c;
    });
    return contacts;
}
