// The import of an address book into the caller directory, any contacts against any directory:
// the rows given stay, in their order, with their keys; a blocked entry is never cleared; the
// plan adds at most one entry per number, and every entry it adds answers its own number once
// the directory is saved (it is not shadowed by a group key or a shorter number before it).

#include "FuzzSupport.h"

#include "calls/CallerDirectory.h"
#include "common/Errors.h"
#include "contacts/ContactImport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QSet>

namespace {

// A key as the directory holds them: digits, now and then a group key's "*", rarely anything.
QString key(FuzzedDataProvider &in)
{
    const std::string raw = in.ConsumeRandomLengthString(14);
    QString text;
    for (const char c : raw) {
        const uchar u = uchar(c);
        text += u < 200 ? QChar(u'0' + u % 10) : u < 240 ? QChar(u'*') : QChar(u);
    }
    return text;
}

// A number as people write them in address books.
QString phone(FuzzedDataProvider &in)
{
    static const char kSigns[] = "0123456789+ ()-/.0123456789";
    const std::string raw = in.ConsumeRandomLengthString(24);
    QString text;
    for (const char c : raw)
        text += uchar(c) < 250 ? QChar(kSigns[uchar(c) % (sizeof kSigns - 1)]) : QChar(uchar(c));
    return text;
}

QString text(FuzzedDataProvider &in, size_t max)
{
    return QString::fromStdString(in.ConsumeRandomLengthString(max));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const NumberPlan plan = NumberPlan::fromText(text(in, 4), text(in, 6));
    const bool createNull = in.ConsumeBool();
    const bool replaceNamed = in.ConsumeBool();

    // The directory as the caller list loads it: each key once (keys compare without case).
    QList<CallerRecord> rows;
    QSet<QString> keys;
    for (int i = in.ConsumeIntegralInRange(0, 16); i > 0; --i) {
        CallerRecord row{key(in), text(in, 20), in.ConsumeBool()};
        if (!row.Number.isEmpty() && !keys.contains(row.Number.toLower())) {
            keys.insert(row.Number.toLower());
            rows << row;
        }
    }
    QList<Contact> contacts;
    int numbers = 0;
    for (int i = in.ConsumeIntegralInRange(0, 12); i > 0; --i) {
        Contact c;
        c.Surname = text(in, 12);
        c.GivenName = text(in, 8);
        c.Organisation = in.ConsumeBool() ? text(in, 12) : QString();
        for (int p = in.ConsumeIntegralInRange(0, 4); p > 0; --p)
            c.Phones << phone(in);
        numbers += int(c.Phones.size());
        contacts << c;
    }

    const ContactImport import = PlanContactImport(rows, contacts, plan, createNull, replaceNamed);

    // The rows given, in their order and never unblocked; the rest is new.
    FUZZ_CHECK(import.Rows.size() == rows.size() + import.New);
    FUZZ_CHECK(import.New + import.Renamed <= numbers);
    QList<CallerRecord> added;
    qsizetype next = 0;
    for (const CallerRecord &r : import.Rows) {
        if (next < rows.size() && r.Number == rows[next].Number) {
            FUZZ_CHECK(r.Blocked || !rows[next].Blocked);
            ++next;
        } else {
            FUZZ_CHECK(!r.Number.isEmpty() && !keys.contains(r.Number.toLower()));
            keys.insert(r.Number.toLower());
            added << r;
        }
    }
    FUZZ_CHECK(next == rows.size());
    FUZZ_CHECK(added.size() == import.New);
    FUZZ_CHECK(import.HasChanges() == (import.New + import.Renamed > 0));
    import.Summary();

    // Saved, every new entry answers its own number. A row the directory refuses (a name no
    // file line can hold) makes the save refuse as a whole; there is nothing to look up then.
    if (added.isEmpty())
        return 0;
    const auto directory = CallerDirectory::InMemory(QByteArray());
    try {
        directory->WriteCallerList(import.Rows);
    } catch (const InvalidInput &) {
        return 0;
    }
    for (const CallerRecord &r : std::as_const(added)) {
        FUZZ_CHECK(directory->ResolveCaller(r.Number).MatchedKey == r.Number);
    }
    return 0;
}
