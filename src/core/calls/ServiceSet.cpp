#include "calls/ServiceSet.h"

#include "capi/CapiTypes.h"

static_assert(ServiceSet::kServices[0].bit == ServiceBit::All);
static_assert(ServiceSet::kServices[1].bit == ServiceBit::AnalogTelephony);
static_assert(ServiceSet::kServices[2].bit == ServiceBit::DigitalTelephony);
static_assert(ServiceSet::kServices[3].bit == ServiceBit::Fax3);
static_assert(ServiceSet::kServices[4].bit == ServiceBit::Fax4);
static_assert(ServiceSet::kServices[5].bit == ServiceBit::Data64K);
static_assert(ServiceSet::kServices[6].bit == ServiceBit::Data56K);
static_assert(ServiceSet::kServices[7].bit == ServiceBit::Unknown);

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
        return ServiceBit::All;
    quint16 set = 0;
    for (const Service &service : kServices) {
        if (service.bit != ServiceBit::All && setting.contains(QLatin1String(service.token)))
            set |= service.bit;
    }
    return set;
}

quint16 forServerMode(quint16 set, bool externalWindow)
{
    return externalWindow ? quint16(ServiceBit::Data64K) : quint16(set | ServiceBit::Data64K);
}

} // namespace ServiceSet
