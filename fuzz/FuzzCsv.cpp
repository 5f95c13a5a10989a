// Address book exports as CSV, in any character set the readers recognise: the contacts come out
// without a crash, and the rows of any text, written back as CSV, parse as the same rows.

#include "FuzzSupport.h"

#include "contacts/Contact.h"
#include "contacts/CsvReader.h"

namespace {

// Every field quoted, quotes doubled, CR LF between rows.
QString csvText(const QList<QStringList> &rows, QChar delimiter)
{
    QString text;
    for (const QStringList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                text += delimiter;
            QString field = row[i];
            field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
            text += QLatin1Char('"') + field + QLatin1Char('"');
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const Contact &c : ReadContactBytes(bytes)) {
        c.DisplayName();
        for (const QString &phone : c.Phones)
            FUZZ_CHECK(!phone.isEmpty());
    }

    const QString text = DecodeContactText(bytes);
    const QChar delimiter = GuessCsvDelimiter(text);
    const QList<QStringList> rows = ParseCsv(text, delimiter);
    for (const QStringList &row : rows)
        FUZZ_CHECK(!row.isEmpty() && !(row.size() == 1 && row.front().isEmpty()));
    FUZZ_CHECK(ParseCsv(csvText(rows, delimiter), delimiter) == rows);
    return 0;
}
