#include "monitor/MonitorOptions.h"

#include "settings/SettingsStore.h"

MonitorOptions MonitorOptions::FromSettings()
{
    MonitorOptions o;
    o.MsnList = Settings::Read(Settings::Msn);
    o.CreateNull = Settings::Read(Settings::CreateNull);
    o.ShowExtWin = Settings::Read(Settings::ShowExtWin);
    o.Show = Settings::Read(Settings::Show);
    o.Beep = Settings::Read(Settings::Beep);
    o.WriteLog = Settings::Read(Settings::WriteLog);
    o.RunDInfo = Settings::Read(Settings::RunDInfo);
    return o;
}
