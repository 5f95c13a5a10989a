#include "contacts/VCardReader.h"

#include "common/Utils.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace {

struct Property
{
    QByteArray Name; // upper case, without group
    QByteArray Charset;
    bool QuotedPrintable = false;
    bool Binary = false;
    QByteArray Value; // raw, still encoded
};

// The logical line being put together from physical lines, and whether its head (up to the
// first colon) names quoted-printable. The head is searched once, as far as it has grown since the
// last question: a line that many soft line breaks continue costs its length, not its square.
class LogicalLine
{
public:
    void Start(QByteArrayView physical)
    {
        m_text = physical.toByteArray();
        m_searched = 0;
        m_colon = -1;
        m_quotedPrintable = false;
    }
    const QByteArray &Text() const { return m_text; }
    bool EndsWith(char c) const { return m_text.endsWith(c); }
    // Drops the last byte, a "=" that is neither the colon nor part of the word searched for.
    void ChopLast()
    {
        m_text.chop(1);
        m_searched = std::min(m_searched, m_text.size());
    }
    void Append(QByteArrayView more) { m_text += more; }

    bool QuotedPrintableHead()
    {
        if (m_colon >= 0)
            return m_quotedPrintable; // the head is complete
        static constexpr QByteArrayView kWord = "QUOTED-PRINTABLE";
        const qsizetype colon = m_text.indexOf(':', m_searched);
        const qsizetype headEnd = colon < 0 ? m_text.size() : colon;
        if (!m_quotedPrintable) {
            // Back by less than the word, so that a word across the last end is found.
            const qsizetype from = std::max<qsizetype>(0, m_searched - (kWord.size() - 1));
            m_quotedPrintable = m_text.sliced(from, headEnd - from).toUpper().contains(kWord);
        }
        m_searched = headEnd;
        m_colon = colon;
        return m_quotedPrintable;
    }

private:
    QByteArray m_text;
    qsizetype m_searched = 0; // the head is searched up to here
    qsizetype m_colon = -1;
    bool m_quotedPrintable = false;
};

// Splits at `separator` outside double quotes.
QList<QByteArray> splitOutsideQuotes(QByteArrayView text, char separator)
{
    QList<QByteArray> parts;
    QByteArray current;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        if (c == separator && !quoted) {
            parts << current;
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current;
    return parts;
}

bool parseProperty(QByteArrayView line, Property *p)
{
    // The value begins after the first colon outside a quoted parameter value.
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0)
        return false;
    const QList<QByteArray> head = splitOutsideQuotes(line.first(colon), ';');
    QByteArray name = head.front().trimmed().toUpper();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.mid(dot + 1); // "item1.TEL"
    p->Name = name;
    p->Value = line.sliced(colon + 1).toByteArray();
    for (qsizetype i = 1; i < head.size(); ++i) {
        const QByteArray param = head[i].trimmed();
        const qsizetype eq = param.indexOf('=');
        const QByteArray key = (eq < 0 ? QByteArray() : param.left(eq).trimmed().toUpper());
        QByteArray value = (eq < 0 ? param : param.mid(eq + 1)).trimmed();
        if (value.startsWith('"') && value.endsWith('"') && value.size() >= 2)
            value = value.mid(1, value.size() - 2);
        const QByteArray upper = value.toUpper();
        if (key == "CHARSET")
            p->Charset = upper;
        else if (key == "ENCODING" || key.isEmpty()) {
            if (upper == "QUOTED-PRINTABLE")
                p->QuotedPrintable = true;
            else if (upper == "BASE64" || upper == "B")
                p->Binary = true;
        }
    }
    return true;
}

int hexValue(uchar c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray decodeQuotedPrintable(QByteArrayView raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (raw[i] == '=' && i + 2 < raw.size()) {
            const int high = hexValue(uchar(raw[i + 1]));
            const int low = hexValue(uchar(raw[i + 2]));
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += raw[i];
    }
    return out;
}

QString decodeCharset(const QByteArray &bytes, const QByteArray &charset)
{
    if (charset == "UTF-8" || charset == "UTF8")
        return QString::fromUtf8(bytes);
    if (charset == "ISO-8859-1" || charset == "LATIN1" || charset == "US-ASCII" || charset == "ASCII")
        return QString::fromLatin1(bytes);
    if (charset == "WINDOWS-1252" || charset == "CP1252")
        return DecodeAnsi(bytes);
    if (charset == "IBM850" || charset == "CP850" || charset == "IBM-850")
        return DecodeOem(bytes);
    if (!charset.isEmpty()) {
        QStringDecoder named(charset.constData());
        if (named.isValid()) {
            const QString text = named(bytes);
            if (!named.hasError())
                return text;
        }
    }
    return DecodeContactText(bytes);
}

// Splits a structured value at ";" that no backslash escapes.
QStringList splitComponents(const QString &value)
{
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            current += c;
            current += value.at(++i);
        } else if (c == QLatin1Char(';')) {
            parts << current;
            current.clear();
        } else {
            current += c;
        }
    }
    parts << current;
    return parts;
}

// Undoes backslash escapes; a line break becomes `lineBreak`.
QString unescape(const QString &value, const QString &lineBreak = QStringLiteral(" "))
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        if (next == QLatin1Char('n') || next == QLatin1Char('N'))
            out += lineBreak;
        else
            out += next;
    }
    // A quoted-printable value may hold a real line break.
    out.replace(QLatin1String("\r\n"), lineBreak);
    out.replace(QLatin1Char('\n'), lineBreak);
    return out.simplified();
}

QString component(const QStringList &parts, int index, const QString &lineBreak = QStringLiteral(" "))
{
    return index < parts.size() ? unescape(parts[index], lineBreak) : QString();
}

class CardParser
{
public:
    void line(QByteArrayView logical)
    {
        const bool agentAnnounced = std::exchange(m_agentAnnounced, false);
        Property p;
        if (!parseProperty(logical, &p))
            return;
        const QByteArray value = p.Value.trimmed().toUpper();
        if (p.Name == "BEGIN" && value == "VCARD") {
            if (m_depth > 0 && agentAnnounced) {
                ++m_depth; // the embedded card that an empty AGENT line announced (2.1)
                return;
            }
            // A new card. A card still open has lost its END and is dropped, with any card
            // embedded in it.
            m_depth = 1;
            m_card = Contact();
            m_haveAddress = false;
            m_version21 = true; // until VERSION says otherwise
            return;
        }
        if (p.Name == "AGENT" && value.isEmpty()) {
            m_agentAnnounced = true; // the embedded card follows in the next line
            return;
        }
        if (p.Name == "AGENT" && value.startsWith("BEGIN:VCARD")) {
            // An embedded card: its properties are not this card's. In 3.0 the whole card is
            // the escaped value of this one line.
            if (!value.contains("END:VCARD"))
                ++m_depth;
            return;
        }
        if (p.Name == "END" && value == "VCARD") {
            if (m_depth > 0 && --m_depth == 0)
                m_cards << m_card;
            return;
        }
        if (m_depth != 1 || p.Binary)
            return;
        if (p.Name == "VERSION") {
            m_version21 = value.startsWith("2.");
            return;
        }
        const bool wanted =
            p.Name == "N" || p.Name == "FN" || p.Name == "ORG" || p.Name == "ADR" || p.Name == "TEL";
        if (!wanted)
            return;
        const QByteArray raw = p.QuotedPrintable ? decodeQuotedPrintable(p.Value) : p.Value;
        const QString text = decodeCharset(raw, p.Charset);
        if (p.Name == "N") {
            const QStringList parts = splitComponents(text);
            m_card.Surname = component(parts, 0);
            m_card.GivenName = component(parts, 1);
        } else if (p.Name == "FN") {
            m_card.FullName = unescape(text);
        } else if (p.Name == "ORG") {
            QStringList units;
            for (const QString &part : splitComponents(text)) {
                const QString unit = unescape(part);
                if (!unit.isEmpty())
                    units << unit;
            }
            m_card.Organisation = units.join(QLatin1Char(' '));
        } else if (p.Name == "ADR" && !m_haveAddress) {
            const QStringList parts = splitComponents(text);
            m_card.Street = component(parts, 2, QStringLiteral(", "));
            m_card.Locality = component(parts, 3);
            m_card.PostalCode = component(parts, 5);
            m_haveAddress = !m_card.Street.isEmpty() || !m_card.Locality.isEmpty();
        } else if (p.Name == "TEL") {
            const QString number = unescape(text);
            if (!number.isEmpty())
                m_card.Phones << number;
        }
    }

    bool version21() const { return m_version21; }
    QList<Contact> cards() const { return m_cards; }

private:
    QList<Contact> m_cards;
    Contact m_card;
    int m_depth = 0;
    bool m_agentAnnounced = false; // the last line was an AGENT without a value
    bool m_haveAddress = false;
    bool m_version21 = true;
};

} // namespace

QList<Contact> ReadVCards(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes = bytes.sliced(3);
    CardParser parser;
    LogicalLine logical;
    bool haveLogical = false;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', pos);
        if (end < 0)
            end = bytes.size();
        QByteArrayView physical = bytes.sliced(pos, end - pos);
        pos = end + 1;
        if (physical.endsWith('\r'))
            physical.chop(1);

        if (haveLogical && logical.EndsWith('=') && logical.QuotedPrintableHead()) {
            // A soft line break of quoted-printable: the value goes on in the next line.
            logical.ChopLast();
            logical.Append(physical);
            continue;
        }
        if (haveLogical && !physical.isEmpty() && (physical[0] == ' ' || physical[0] == '\t')) {
            // A folded line. Version 3.0 and 4.0 drop the one blank that folds; 2.1 folds at a
            // blank that belongs to the text.
            logical.Append(parser.version21() ? physical : physical.sliced(1));
            continue;
        }
        if (haveLogical)
            parser.line(logical.Text());
        logical.Start(physical);
        haveLogical = !physical.isEmpty();
    }
    if (haveLogical)
        parser.line(logical.Text());
    return parser.cards();
}
