// The D-Info answer file "dinfo.prz" as any directory program may write it, and the answer line
// our stand-in formats: whatever its fields hold, the parse gives back exactly those fields.

#include "FuzzSupport.h"

#include "common/Utils.h"
#include "dinfo/DInfoAnswer.h"

#include <fuzzer/FuzzedDataProvider.h>

namespace {

bool hasControl(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

// A field as one line of the file can carry it: code page 850 text.
QString oemText(FuzzedDataProvider &in, size_t maxBytes)
{
    return DecodeOem(QByteArray::fromStdString(in.ConsumeRandomLengthString(maxBytes)));
}

// Splits a formatted line at its four labels (no ";" can stand inside a field) and joins the
// fields the way a name is shown: "surname, given name addition".
QString shownName(const QString &line)
{
    const qsizetype vn = line.indexOf(QLatin1String(";VN: "));
    const qsizetype zus = line.indexOf(QLatin1String(";ZUS: "));
    const qsizetype str = line.indexOf(QLatin1String(";STR: "));
    FUZZ_CHECK(line.startsWith(QLatin1String("NA: ")) && vn >= 4 && zus > vn && str > zus);
    const QString surname = line.mid(4, vn - 4).trimmed();
    const QString given = line.mid(vn + 5, zus - vn - 5).trimmed();
    const QString addition = line.mid(zus + 6, str - zus - 6).trimmed();
    QString name = surname;
    if (!given.isEmpty())
        name += QStringLiteral(", ") + given;
    if (!addition.isEmpty())
        name += QLatin1Char(' ') + addition;
    return name.trimmed();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Any bytes as the answer file.
    const DInfoAnswer::FileText text = DInfoAnswer::ParseFile(FuzzSupport::View(data, size));
    FUZZ_CHECK(text.FirstLine.size() <= DInfoAnswer::kMaxLine);
    FUZZ_CHECK(text.AnswerLine.size() <= DInfoAnswer::kMaxLine);
    FUZZ_CHECK(!hasControl(text.AnswerLine));
    DInfoAnswer::ParseLine(text.AnswerLine);
    DInfoAnswer::ParseLine(DecodeOem(FuzzSupport::View(data, size)));

    // The stand-in's answer for a subscriber with any fields, through the file and back.
    FuzzedDataProvider in(data, size);
    const QString surname = oemText(in, 300);
    const QString given = oemText(in, 300);
    const QString addition = oemText(in, 300);
    const QString street = oemText(in, 300);
    QString request = oemText(in, 100);
    request.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    const QString line = DInfoAnswer::FormatLine(surname, given, addition, street);
    FUZZ_CHECK(line.size() <= DInfoAnswer::kMaxLine);
    FUZZ_CHECK(line.count(QLatin1Char(';')) == 3);
    FUZZ_CHECK(!hasControl(line));
    const QString expected = shownName(line);
    FUZZ_CHECK(DInfoAnswer::ParseLine(line) == expected);

    const DInfoAnswer::FileText back = DInfoAnswer::ParseFile(DInfoAnswer::FileBytes(request, line));
    FUZZ_CHECK(back.FirstLine == request.left(DInfoAnswer::kMaxLine));
    FUZZ_CHECK(back.AnswerLine == line);
    return 0;
}
