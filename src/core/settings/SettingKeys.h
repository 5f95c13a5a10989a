#pragma once

#include <QtGlobal>

// Every setting of the program, named once: its name in the settings file (names compare
// without regard to case, so each is spelt here as the program writes it), its type, and what
// it reads as when it holds nothing. Settings::Read and Settings::Write (SettingsStore.h) take
// these keys; a new option is one line here.
namespace Settings {

template<typename T> struct Key
{
    const char *name;
    // Flag: what an absent or empty value reads as (a value that is no number reads as off).
    // Integer: a positive fallback makes it a count, where a value that is no positive number
    // (absent, 0, negative, no number) reads as the fallback; a fallback of 0 reads the value
    // as stored (absent: 0). Text: what an empty value reads as.
    T fallback{};
};
using Flag = Key<bool>;
using Integer = Key<qint32>;
using Text = Key<const char *>;

// Start page and options page of the main window.
inline constexpr Flag UseExtern{"ISDN_UseExtern", true}; // "Aktiv"
inline constexpr Flag Show{"ISDN_Show"};
inline constexpr Flag Beep{"ISDN_Beep"};
inline constexpr Flag Minimize{"ISDN_Minimize", true};
// Whole seconds; stored as an integer, read as the text that was typed.
inline constexpr Text TimeMinimize{"ISDN_TimeMinimize", "3"};
inline constexpr Flag WriteLog{"ISDN_WriteLog"};
inline constexpr Flag ShowExtWin{"ISDN_ShowExtWin", true};
inline constexpr Flag CreateNull{"ISDN_CreateNull"};
inline constexpr Flag RunDInfo{"ISDN_RunDInfo"};
inline constexpr Text DInfoDir{"ISDN_DInfoDir"};
inline constexpr Integer DInfoVersion{"ISDN_DInfoVersion"}; // 1: D-Info 97, else D-Info 3.0
inline constexpr Text SendDir{"ISDN_SendDir"};
inline constexpr Text EmpfangDir{"ISDN_EmpfangDir"};
inline constexpr Integer MaxEmpfang{"ISDN_MaxEmpfang", 100}; // MB
inline constexpr Text CapiRemote{"ISDN_CapiRemote"};         // host:port
inline constexpr Text CapiLibrary{"ISDN_CapiLibrary"};
// "Sprache": "de" or "en"; empty follows the desktop's language (Language::Chosen).
inline constexpr Text Language{"ISDN_Language"};

// What rings: the eight MSN fields joined by "," (MsnList), the services (ServiceSet).
inline constexpr Text Msn{"ISDN_MSN"};
inline constexpr Text Service{"ISDN_Service"};

// Data transfer.
inline constexpr Text LastDFUConnect{"ISDN_LastDFUConnect"};
inline constexpr Flag Nebenstelle{"ISDN_Nebenstelle"};
inline constexpr Flag AutoDisconnect{"ISDN_AutoDisconnect"};

// The notification window and how calls are shown.
inline constexpr Integer CallMsgLeft{"ISDN_CallMsg_Left"};
inline constexpr Integer CallMsgTop{"ISDN_CallMsg_Top"};
inline constexpr Text BmpDir{"ISDN_BmpDir"};
inline constexpr Flag ExtWinShowing{"ISDN_ExtWinShowing", true}; // the bitmap as background
inline constexpr Text ExtWinFontColor{"ISDN_ExtWinFontColor"};
inline constexpr Text ExtWinBackColor{"ISDN_ExtWinBackColor"};
inline constexpr Flag ExtUseAnimation{"ISDN_ExtUseAnimation"};
// Absent: desktop notifications on Wayland where a service runs (ExtWinAsDesktopNotification).
inline constexpr Flag ExtWinDesktop{"ISDN_ExtWinDesktop"};

// The caller list sorted by number; the journal converted to the current form.
inline constexpr Flag CallSortOrder{"ISDN_CallSortOrder"};
inline constexpr Flag Update20{"ISDN_Update20"};
// The journal left unconverted, its records in neither form, that the user has been told about:
// the file's identity, "device:inode".
inline constexpr Text JournalUndecidedTold{"ISDN_JournalUndecidedTold"};

// Calls on the network: the MQTT broker (an empty host: no broker), this copy's node name (empty:
// the host name), Home Assistant discovery, "Nur Anzeige" (no CAPI; the calls of other copies
// are shown) and "Befehle anderer Rechner annehmen" (a block asked for by a copy that only
// shows calls is applied).
inline constexpr Text MqttHost{"ISDN_MqttHost"};
inline constexpr Integer MqttPort{"ISDN_MqttPort", 1883};
inline constexpr Flag MqttTls{"ISDN_MqttTls"};
inline constexpr Text MqttCaFile{"ISDN_MqttCaFile"};
inline constexpr Text MqttUser{"ISDN_MqttUser"};
// Kept in the settings file, which is then readable by the user only; never logged.
inline constexpr Text MqttPassword{"ISDN_MqttPassword"};
inline constexpr Text MqttNode{"ISDN_MqttNode"};
inline constexpr Flag MqttDiscovery{"ISDN_MqttDiscovery"};
inline constexpr Flag DisplayOnly{"ISDN_DisplayOnly"};
inline constexpr Flag AcceptCommands{"ISDN_AcceptCommands"};

// The wave file of an MSN field, by its position (1 to 8, and beyond for longer lists): text.
struct Sound
{
    int position;
};

} // namespace Settings
