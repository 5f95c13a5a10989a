// The journal as CSV for spreadsheets: any records, named by any directory, give CSV that reads
// back (with the program's own CSV reader) to the same fields, apart from the apostrophe that
// keeps a spreadsheet from running a field as a formula; no field read back is a formula.

#include "FuzzSupport.h"

#include "calls/JournalExport.h"
#include "common/Errors.h"
#include "common/Utils.h"
#include "contacts/CsvReader.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

namespace {

bool startsFormula(const QString &field)
{
    return !field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field.front());
}

bool plainNumber(const QString &field)
{
    if (field.size() < 2 || field.front() != QLatin1Char('+'))
        return false;
    for (qsizetype i = 1; i < field.size(); ++i)
        if (!field.at(i).isDigit() || field.at(i).unicode() > 127)
            return false;
    return true;
}

// What the field reads back as: the text itself, or the guarded text.
void checkField(const QString &read, const QString &written)
{
    if (startsFormula(written) && !plainNumber(written))
        FUZZ_CHECK(read == QLatin1Char('\'') + written);
    else
        FUZZ_CHECK(read == written);
}

QString ansi(FuzzedDataProvider &in, size_t max)
{
    return DecodeAnsi(QByteArray::fromStdString(in.ConsumeRandomLengthString(max)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    qputenv("TZ", "Europe/Berlin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const auto directory = CallerDirectory::InMemory(QByteArray());
    for (int i = in.ConsumeIntegralInRange(0, 6); i > 0; --i) {
        try {
            directory->WriteCaller(ansi(in, 12), QString::fromStdString(in.ConsumeRandomLengthString(40)),
                                   in.ConsumeBool());
        } catch (const InvalidInput &) {
        }
    }
    QList<JournalRecord> records;
    for (int i = in.ConsumeIntegralInRange(0, 8); i > 0; --i) {
        JournalRecord r;
        const uint64_t bits = in.ConsumeIntegral<uint64_t>();
        std::memcpy(&r.CallTime, &bits, sizeof bits);
        r.CallerKey = ansi(in, JournalRecord::kMaxKey);
        r.Msn = ansi(in, JournalRecord::kMaxMsn);
        records << r;
    }

    const CallerResolver resolver = directory->BatchResolver();
    const QByteArray csv = JournalCsv(records, resolver);
    const QList<QStringList> rows = ParseCsv(QString::fromUtf8(csv), QLatin1Char(','));
    FUZZ_CHECK(rows.size() == records.size() + 1);
    FUZZ_CHECK(rows.front() ==
               QStringList({QStringLiteral("Datum"), QStringLiteral("Uhrzeit"), QStringLiteral("MSN"),
                            QStringLiteral("Rufnummer"), QStringLiteral("Name")}));
    for (qsizetype i = 0; i < records.size(); ++i) {
        const JournalRecord &r = records[i];
        const QStringList &row = rows[i + 1];
        FUZZ_CHECK(row.size() == 5);
        const QDateTime when = r.callDateTime();
        FUZZ_CHECK(row[0] == when.date().toString(Qt::ISODate));
        FUZZ_CHECK(row[1] == when.time().toString(QStringLiteral("HH:mm:ss")));
        checkField(row[2], r.Msn);
        checkField(row[3], r.CallerKey);
        const QString caller = JournalCallerText(resolver.Resolve(r.CallerKey), r.CallerKey);
        checkField(row[4], caller == r.CallerKey ? QString() : caller);
        for (const QString &field : row)
            FUZZ_CHECK(!startsFormula(field) || plainNumber(field));
    }
    return 0;
}
