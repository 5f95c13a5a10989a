#include "calls/MsnList.h"

#include "common/Errors.h"
#include "settings/SettingsStore.h"

#include <QDebug>
#include <QFileInfo>

QStringList MsnList::splitForWindow(const QString &list)
{
    QStringList fields(kFields);
    if (list.isEmpty())
        return fields;
    const QStringList parts = list.split(QLatin1Char(','));
    // The parts before the last comma fill fields 1 to 7; the part after the last comma is
    // field 8. A list of more than seven commas keeps its first seven parts and its last.
    if (parts.size() == 1) {
        fields[0] = parts.first();
        return fields;
    }
    for (int i = 0; i < parts.size() - 1 && i < kFields - 1; ++i)
        fields[i] = parts.at(i);
    fields[kFields - 1] = parts.last();
    return fields;
}

QString MsnList::join(const QStringList &fields)
{
    QStringList eight = fields.mid(0, kFields);
    while (eight.size() < kFields)
        eight << QString();
    return eight.join(QLatin1Char(','));
}

int MsnList::positionOf(const QString &list, const QString &calledNumber)
{
    if (list.isEmpty())
        return 0;
    const QStringList parts = list.split(QLatin1Char(','));
    for (int i = 0; i < parts.size(); ++i) {
        if (parts.at(i) == calledNumber)
            return i + 1;
    }
    return 0;
}

QString MsnList::soundFileFor(const QString &list, const QString &calledNumber)
{
    const int position = positionOf(list, calledNumber);
    if (position == 0)
        return QString();
    // A value stored as no text by another program reads as empty: the built-in signal sounds.
    const QString path = Settings::Read(Settings::Sound{position});
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return QString();
    return path;
}

bool IsMsnAccepted(const QString &msnList, const QString &calledNumber)
{
    if (msnList.size() <= 7)
        return true;
    return !calledNumber.isEmpty() && msnList.contains(calledNumber);
}
