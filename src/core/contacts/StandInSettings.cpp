#include "contacts/StandInSettings.h"

#include "common/Paths.h"
#include "common/Utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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
