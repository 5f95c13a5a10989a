#include "dinfo/DInfoAnswer.h"

#include "common/RegularFile.h"
#include "common/Utils.h"

namespace {

// Pos of the directory program's clients: the 1-based position of the first occurrence, 0 when
// there is none.
int pos(const QString &needle, const QString &line)
{
    return int(line.indexOf(needle)) + 1;
}

// Copy: at most `count` characters from the 1-based position `from`, clipped at the end.
QString copy(const QString &line, int from, int count)
{
    if (from < 1 || from > line.size())
        return QString();
    return line.mid(from - 1, count);
}

// A length counted in 8 bits, as an unsigned count.
int length8(int value)
{
    return int(uint8_t(value));
}

QString cleanField(QString text, int maxLength)
{
    text.replace(QLatin1Char(';'), QLatin1Char(','));
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    text = text.simplified();
    // The parse finds the labels wherever they first occur: inside an earlier field one would
    // take the place of the real one.
    text.replace(QLatin1String("ZUS:"), QLatin1String("ZUS :"));
    text.replace(QLatin1String("VN:"), QLatin1String("VN :"));
    return text.left(maxLength).trimmed();
}

} // namespace

QString DInfoAnswer::Request(const QString &number)
{
    return QStringLiteral("R;") + number;
}

QString DInfoAnswer::ParseLine(const QString &line)
{
    const int posNA = pos(QStringLiteral("NA:"), line);
    const int posVN = pos(QStringLiteral("VN:"), line);
    const int posZUS = pos(QStringLiteral("ZUS:"), line);
    const int lenNA = length8(pos(QStringLiteral(";VN:"), line) - posNA - 4);
    const int lenVN = length8(pos(QStringLiteral(";ZUS:"), line) - posVN - 4);
    const int lenZUS = length8(pos(QStringLiteral(";STR:"), line) - posZUS - 5);
    // Fields padded with blanks count by their text: a field of blanks is empty.
    QString result;
    if (posNA > 0)
        result += copy(line, posNA + 4, lenNA).trimmed();
    if (posVN > 0) {
        const QString given = copy(line, posVN + 4, lenVN).trimmed();
        if (!given.isEmpty())
            result += QStringLiteral(", ") + given;
    }
    if (posZUS > 0) {
        const QString addition = copy(line, posZUS + 5, lenZUS).trimmed();
        if (!addition.isEmpty())
            result += QLatin1Char(' ') + addition;
    }
    return result.trimmed();
}

QString DInfoAnswer::FormatLine(const QString &surname, const QString &givenName, const QString &addition,
                                const QString &street)
{
    // Fields short enough that the line stays within kMaxLine before the street.
    const QString head = QStringLiteral("NA: ") + cleanField(surname, 60) + QStringLiteral(";VN: ") +
                         cleanField(givenName, 40) + QStringLiteral(";ZUS: ") + cleanField(addition, 60) +
                         QStringLiteral(";STR: ");
    return head + cleanField(street, kMaxLine - int(head.size()));
}

QByteArray DInfoAnswer::FileBytes(const QString &firstLine, const QString &answerLine)
{
    QByteArray bytes = EncodeOem(firstLine) + "\r\n";
    if (!answerLine.isEmpty())
        bytes += EncodeOem(answerLine) + "\r\n";
    return bytes;
}

bool DInfoAnswer::ReadFile(const QString &path, FileText *text)
{
    // Another program writes the folder: only a regular file of that name is read, never a pipe
    // (which would hold the thread up) nor what a link points to.
    RegularFile file(path, RegularFile::Links::Refuse);
    // Two lines are all that count; a file of any size is read no further than that.
    QByteArray bytes;
    if (!file.Read(64 * 1024, &bytes))
        return false;
    *text = ParseFile(bytes);
    return true;
}

DInfoAnswer::FileText DInfoAnswer::ParseFile(QByteArrayView bytes)
{
    auto lineAt = [&bytes](qsizetype from, qsizetype *next) {
        qsizetype end = bytes.indexOf('\n', from);
        if (end < 0)
            end = bytes.size();
        *next = end + 1;
        QByteArrayView line = bytes.sliced(from, end - from);
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    };
    qsizetype next = 0;
    const QByteArrayView first = lineAt(0, &next);
    const QByteArrayView answer = next < bytes.size() ? lineAt(next, &next) : QByteArrayView();
    FileText text;
    text.FirstLine = DecodeOem(first).left(kMaxLine);
    text.AnswerLine = OemToAnsiStr(answer);
    for (QChar &c : text.AnswerLine) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return text;
}
