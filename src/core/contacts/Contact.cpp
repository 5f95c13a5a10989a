#include "contacts/Contact.h"

#include "common/Utils.h"
#include "contacts/CsvReader.h"
#include "contacts/VCardReader.h"

#include <QFile>
#include <QStringDecoder>

namespace {
// Address books with photos grow large; anything beyond this is not an address book.
constexpr qint64 kMaxFileSize = 256 * 1024 * 1024;

bool startsWith(QByteArrayView bytes, std::initializer_list<uchar> prefix)
{
    if (bytes.size() < qsizetype(prefix.size()))
        return false;
    qsizetype i = 0;
    for (uchar b : prefix) {
        if (uchar(bytes[i++]) != b)
            return false;
    }
    return true;
}

bool looksLikeVCard(const QString &text)
{
    return text.left(65536).contains(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive);
}
} // namespace

QString ContactNumber(const QString &phone, const NumberPlan &plan)
{
    QString number = PhoneNumber::International(phone, plan);
    if (number.size() > kMaxNumberDigits)
        number.clear();
    return number;
}

QString Contact::DisplayName() const
{
    if (!Surname.isEmpty())
        return GivenName.isEmpty() ? Surname : Surname + QStringLiteral(", ") + GivenName;
    if (!FullName.isEmpty())
        return FullName;
    if (!GivenName.isEmpty())
        return GivenName;
    return Organisation;
}

QString DecodeContactText(QByteArrayView bytes)
{
    if (startsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return QString::fromUtf8(bytes.sliced(3));
    if (startsWith(bytes, {0xFF, 0xFE}) || startsWith(bytes, {0xFE, 0xFF})) {
        QStringDecoder utf16(startsWith(bytes, {0xFF, 0xFE}) ? QStringDecoder::Utf16LE
                                                             : QStringDecoder::Utf16BE);
        return utf16(bytes.sliced(2));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return DecodeAnsi(bytes);
}

QList<Contact> ReadContactFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1 kann nicht gelesen werden: %2").arg(path, file.errorString());
        return {};
    }
    if (file.size() > kMaxFileSize) {
        if (error)
            *error = QStringLiteral("%1 ist zu groß für ein Adressbuch").arg(path);
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("%1 kann nicht gelesen werden: %2").arg(path, file.errorString());
        return {};
    }
    return ReadContactBytes(bytes);
}

QList<Contact> ReadContactBytes(const QByteArray &bytes)
{
    // vCards are read from their bytes, since each value may name its own character set; a file
    // in UTF-16 becomes UTF-8 first.
    if (startsWith(bytes, {0xFF, 0xFE}) || startsWith(bytes, {0xFE, 0xFF})) {
        const QString text = DecodeContactText(bytes);
        return looksLikeVCard(text) ? ReadVCards(text.toUtf8()) : ReadCsvContacts(text);
    }
    if (bytes.left(65536).toUpper().contains("BEGIN:VCARD"))
        return ReadVCards(bytes);
    return ReadCsvContacts(DecodeContactText(bytes));
}
