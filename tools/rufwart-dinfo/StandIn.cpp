#include "StandIn.h"

#include "common/Utils.h"
#include "dinfo/DInfoAnswer.h"

#include <cstdio>

namespace {
void reportErrors(const AddressBook &book)
{
    for (const QString &error : book.errors())
        std::fprintf(stderr, "rufwart-dinfo: %s\n", qPrintable(error));
}
} // namespace

StandIn::StandIn(const StandInSettings &settings, const QString &folder) : m_folder(folder)
{
    if (!m_folder.endsWith(QLatin1Char('/')))
        m_folder += QLatin1Char('/');
    m_book.Load(settings.SourcesInUse(), settings.Plan());
    reportErrors(m_book);
}

QString StandIn::AnswerFor(const QString &number)
{
    if (m_book.Refresh())
        reportErrors(m_book);
    const Contact *c = m_book.Find(number);
    if (!c)
        return QString();
    QString surname = c->Surname;
    QString given = c->GivenName;
    QString addition = c->Organisation;
    if (surname.isEmpty()) {
        // A card without a structured name: the whole name, or the company alone.
        surname = !c->FullName.isEmpty() ? c->FullName : !c->Organisation.isEmpty() ? c->Organisation : given;
        given.clear();
        if (addition == surname)
            addition.clear();
    }
    QString street = c->Street;
    const QString place = (c->PostalCode + QLatin1Char(' ') + c->Locality).trimmed();
    if (!place.isEmpty())
        street = street.isEmpty() ? place : street + QStringLiteral(", ") + place;
    return DInfoAnswer::FormatLine(surname, given, addition, street);
}

bool StandIn::Execute(const QString &command, QString *refusal)
{
    if (!command.startsWith(QLatin1String("R;"))) {
        *refusal = QStringLiteral("unbekannter Befehl");
        return false;
    }
    const QString answer = AnswerFor(command.mid(2));
    try {
        // A link in the answer file's place is replaced, never written through: the reader takes
        // only a regular file there.
        WriteFileAtomic(m_folder + QString::fromLatin1(DInfoAnswer::kFileName),
                        DInfoAnswer::FileBytes(command, answer), LinkMode::ReplaceLink);
    } catch (const std::exception &e) {
        *refusal = QString::fromUtf8(e.what());
        return false;
    }
    m_lastRequest = command;
    return true;
}
