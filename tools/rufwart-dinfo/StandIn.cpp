#include "StandIn.h"

#include "common/Paths.h"
#include "common/Utils.h"
#include "dinfo/DInfoAnswer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {
void reportErrors(const AddressBook &book)
{
    for (const QString &error : book.errors())
        std::fprintf(stderr, "rufwart-dinfo: %s\n", qPrintable(error));
}
} // namespace

QString StandInSettings::File()
{
    return Paths::configHome() + QStringLiteral("/rufwart/dinfo.ini");
}

QStringList StandInSettings::DefaultSources()
{
    const QString own = Paths::dataDir() + QStringLiteral("adressbuch/");
    QDir().mkpath(own);
    QStringList sources{own};
    const QString kde = QFileInfo(Paths::dataDir() + QStringLiteral("../contacts")).absoluteFilePath();
    if (QFileInfo(kde).isDir())
        sources << kde;
    return sources;
}

StandInSettings StandInSettings::Read()
{
    StandInSettings s;
    QFile file(File());
    if (!file.open(QIODevice::ReadOnly))
        return s;
    bool inSection = true; // lines before any section count too
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (QString line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) || line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line.compare(QLatin1String("[AddressBook]"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inSection || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed().toLower();
        QString value = line.mid(eq + 1).trimmed();
        if (value.startsWith(QLatin1String("~/")))
            value = Paths::homeDir() + value.mid(1);
        if (key == QLatin1String("source") && !value.isEmpty())
            s.Sources << value;
        else if (key == QLatin1String("countrycode"))
            s.CountryCode = value;
        else if (key == QLatin1String("areacode"))
            s.AreaCode = value;
    }
    return s;
}

void StandInSettings::Write() const
{
    QString text = QStringLiteral("[AddressBook]\n");
    for (const QString &source : Sources)
        text += QStringLiteral("Source=") + source + QLatin1Char('\n');
    text += QStringLiteral("CountryCode=") + CountryCode + QLatin1Char('\n');
    text += QStringLiteral("AreaCode=") + AreaCode + QLatin1Char('\n');
    QDir().mkpath(QFileInfo(File()).absolutePath());
    WriteFileAtomic(File(), text.toUtf8());
}

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
        WriteFileAtomic(m_folder + QString::fromLatin1(DInfoAnswer::kFileName),
                        DInfoAnswer::FileBytes(command, answer));
    } catch (const std::exception &e) {
        *refusal = QString::fromUtf8(e.what());
        return false;
    }
    m_lastRequest = command;
    return true;
}
