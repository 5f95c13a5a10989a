#include "directory/ServiceSet.h"

namespace ServiceSet {

Choice choiceFromSetting(const QString &setting)
{
    Choice choice{};
    if (setting.isEmpty()) {
        choice[0] = true;
        return choice;
    }
    for (size_t i = 0; i < kServices.size(); ++i)
        choice[i] = setting.contains(QLatin1String(kServices[i].token));
    return choice;
}

QString settingFromChoice(const Choice &choice)
{
    QString text;
    for (size_t i = 0; i < kServices.size(); ++i) {
        if (choice[i])
            text += QLatin1String(kServices[i].token) + QLatin1Char(',');
    }
    return text;
}

quint16 fromSetting(const QString &setting)
{
    if (setting.isEmpty() || setting.contains(QLatin1String("ALL")))
        return All;
    quint16 set = 0;
    for (const Service &service : kServices) {
        if (service.bit != All && setting.contains(QLatin1String(service.token)))
            set |= service.bit;
    }
    return set;
}

quint16 forServerMode(quint16 set, bool externalWindow)
{
    return externalWindow ? quint16(Data64) : quint16(set | Data64);
}

quint32 cipMask(quint16 set)
{
    if (set & All)
        return kCipAll;
    quint32 mask = 0;
    if (set & Analog)
        mask |= LISTEN_ANALOG_TELEPHONY;
    if (set & Digital)
        mask |= LISTEN_DIGITAL_TELEPHONY;
    if (set & Fax3)
        mask |= LISTEN_FAX3;
    if (set & Fax4)
        mask |= LISTEN_FAX4;
    if (set & Data64)
        mask |= LISTEN_DATA_64K;
    if (set & Data56)
        mask |= LISTEN_DATA_56K;
    return mask;
}

} // namespace ServiceSet
