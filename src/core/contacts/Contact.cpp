#include "contacts/Contact.h"

#include "common/RegularFile.h"
#include "common/Utils.h"
#include "contacts/CsvReader.h"
#include "contacts/VCardReader.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace {
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

bool isUtf16(QByteArrayView bytes)
{
    return startsWith(bytes, {0xFF, 0xFE}) || startsWith(bytes, {0xFE, 0xFF});
}

// Whether a file's bytes are vCards rather than CSV, judged by the beginning.
bool holdsVCards(QByteArrayView bytes)
{
    if (isUtf16(bytes))
        return looksLikeVCard(
            DecodeContactText(bytes.first(std::min<qsizetype>(bytes.size(), 2 + 2 * 65536))));
    return bytes.first(std::min<qsizetype>(bytes.size(), 65536))
        .toByteArray()
        .toUpper()
        .contains("BEGIN:VCARD");
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
    const auto refuse = [&](const QString &why) {
        if (error)
            *error = why;
        return QList<Contact>();
    };
    const auto unreadable = [&](int code) {
        return refuse(QCoreApplication::translate("Contact", "%1 kann nicht gelesen werden: %2")
                          .arg(path, qt_error_string(code)));
    };
    const auto tooLarge = [&] {
        return refuse(QCoreApplication::translate("Contact", "%1 ist zu groß für ein Adressbuch").arg(path));
    };
    RegularFile file(path, RegularFile::Links::Follow);
    if (file.Status() == RegularFile::State::NotRegular)
        return refuse(QCoreApplication::translate("Contact", "%1 ist keine gewöhnliche Datei").arg(path));
    if (file.Status() != RegularFile::State::Open)
        return unreadable(file.Error());
    const qint64 cap = std::max(kMaxVCardFileSize, kMaxCsvFileSize);
    if (file.Size() > cap)
        return tooLarge();
    // At most one byte beyond the cap, however the file grows meanwhile.
    QByteArray bytes;
    if (!file.Read(cap + 1, &bytes))
        return unreadable(file.Error());
    if (bytes.size() > (holdsVCards(bytes) ? kMaxVCardFileSize : kMaxCsvFileSize))
        return tooLarge();
    return ReadContactBytes(bytes);
}

QList<Contact> ReadContactBytes(const QByteArray &bytes)
{
    // vCards are read from their bytes, since each value may name its own character set; a file
    // in UTF-16 becomes UTF-8 first.
    if (isUtf16(bytes)) {
        const QString text = DecodeContactText(bytes);
        return looksLikeVCard(text) ? ReadVCards(text.toUtf8()) : ReadCsvContacts(text);
    }
    if (holdsVCards(bytes))
        return ReadVCards(bytes);
    return ReadCsvContacts(DecodeContactText(bytes));
}
