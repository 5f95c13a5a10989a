#include "monitor/MonitorOptions.h"

#include "settings/SettingsStore.h"

MonitorOptions MonitorOptions::FromSettings()
{
    MonitorOptions o;
    o.MsnList = ReadSettingText(QStringLiteral("ISDN_Msn"));
    o.CreateNull = ReadSettingFlag(QStringLiteral("ISDN_CreateNull"));
    // "Externes Fenster" is on until the user turns it off.
    o.ShowExtWin = ReadSettingText(QStringLiteral("ISDN_ShowExtWin")).isEmpty() ||
                   ReadSettingFlag(QStringLiteral("ISDN_ShowExtWin"));
    o.Show = ReadSettingFlag(QStringLiteral("ISDN_Show"));
    o.Beep = ReadSettingFlag(QStringLiteral("ISDN_Beep"));
    o.WriteLog = ReadSettingFlag(QStringLiteral("ISDN_WriteLog"));
    o.RunDInfo = ReadSettingFlag(QStringLiteral("ISDN_RunDInfo"));
    return o;
}
