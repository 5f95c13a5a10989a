<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="de">
<context>
    <name>AddressBook</name>
    <message>
        <source>%1 gibt es nicht</source>
        <translation>%1 does not exist</translation>
    </message>
</context>
<context>
    <name>CallJournal</name>
    <message>
        <source>nach %1 kann nicht geschrieben werden: %2</source>
        <translation>cannot write to %1: %2</translation>
    </message>
    <message>
        <source>%1 kann nicht gelesen werden: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1: Format der Einträge nicht eindeutig, nicht konvertiert</source>
        <translation>%1: the format of the records is ambiguous; not converted</translation>
    </message>
    <message>
        <source>Das Anruf-Journal %1 ist kürzer als ein Eintrag (%2 Bytes) und wurde nicht konvertiert.</source>
        <translation>The call journal %1 is shorter than one record (%2 bytes) and was not converted.</translation>
    </message>
    <message>
        <source>Die Einträge im Anruf-Journal %1 passen weder zum alten noch zum neuen Format; die Datei wurde nicht konvertiert.</source>
        <translation>The records in the call journal %1 fit neither the old nor the new format; the file was not converted.</translation>
    </message>
</context>
<context>
    <name>CallMessage</name>
    <message>
        <source>&quot;%1&quot; fehlt</source>
        <translation>&quot;%1&quot; is missing</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist kein Text</source>
        <translation>&quot;%1&quot; is no text</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist kein gültiger Text</source>
        <translation>&quot;%1&quot; is no valid text</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist zu lang</source>
        <translation>&quot;%1&quot; is too long</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist leer</source>
        <translation>&quot;%1&quot; is empty</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist keine gültige Zahl</source>
        <translation>&quot;%1&quot; is no valid number</translation>
    </message>
    <message>
        <source>&quot;%1&quot; ist kein Wahrheitswert</source>
        <translation>&quot;%1&quot; is no truth value</translation>
    </message>
    <message>
        <source>zu lang (%1 Bytes)</source>
        <translation>too long (%1 bytes)</translation>
    </message>
    <message>
        <source>kein JSON-Objekt</source>
        <translation>no JSON object</translation>
    </message>
    <message>
        <source>unbekanntes Schema</source>
        <translation>unknown schema</translation>
    </message>
    <message>
        <source>unbekanntes Ereignis</source>
        <translation>unknown event</translation>
    </message>
    <message>
        <source>&quot;time&quot; ist keine Zeit mit Abstand zu UTC</source>
        <translation>&quot;time&quot; is no time with an offset from UTC</translation>
    </message>
    <message>
        <source>unbekannter Befehl</source>
        <translation>unknown command</translation>
    </message>
</context>
<context>
    <name>CallNetwork</name>
    <message>
        <source>Anrufer %1 auf Wunsch von %2 gesperrt</source>
        <translation>Caller %1 blocked at the request of %2</translation>
    </message>
    <message>
        <source>Befehl von %1 abgelehnt (Anrufer %2 sperren): %3</source>
        <translation>Command of %1 refused (block caller %2): %3</translation>
    </message>
    <message>
        <source>„Befehle anderer Rechner annehmen“ ist aus</source>
        <translation>“Accept commands of other computers” is off</translation>
    </message>
    <message>
        <source>das Anruferverzeichnis ist nicht geöffnet</source>
        <translation>the caller directory is not open</translation>
    </message>
    <message>
        <source>keine Rufnummer</source>
        <translation>no number</translation>
    </message>
</context>
<context>
    <name>CallPipeline</name>
    <message>
        <source> (D-Info: Anfrage abgelehnt)</source>
        <translation> (D-Info: request refused)</translation>
    </message>
    <message>
        <source> (D-Info: keine Antwort)</source>
        <translation> (D-Info: no answer)</translation>
    </message>
    <message>
        <source> (D-Info: Antwort unlesbar)</source>
        <translation> (D-Info: answer unreadable)</translation>
    </message>
    <message>
        <source> (D-Info nicht erreichbar)</source>
        <translation> (D-Info not reachable)</translation>
    </message>
</context>
<context>
    <name>CallerDirectory</name>
    <message>
        <source>nach %1 kann nicht geschrieben werden</source>
        <translation>cannot write to %1</translation>
    </message>
    <message>
        <source>Die Nummer &quot;%1&quot; kann nicht gespeichert werden: %2</source>
        <translation>The number &quot;%1&quot; cannot be saved: %2</translation>
    </message>
    <message>
        <source>sie ist leer</source>
        <translation>it is empty</translation>
    </message>
    <message>
        <source>sie enthält einen Zeilenumbruch</source>
        <translation>it contains a line break</translation>
    </message>
    <message>
        <source>sie enthält &quot;=&quot;, &quot;[&quot; oder &quot;]&quot;</source>
        <translation>it contains &quot;=&quot;, &quot;[&quot; or &quot;]&quot;</translation>
    </message>
    <message>
        <source>sie beginnt mit &quot;;&quot;</source>
        <translation>it begins with &quot;;&quot;</translation>
    </message>
    <message>
        <source>sie beginnt oder endet mit einem Leerzeichen</source>
        <translation>it begins or ends with a space</translation>
    </message>
    <message>
        <source>sie enthält Zeichen, die die Datei nicht aufnehmen kann</source>
        <translation>it contains characters the file cannot hold</translation>
    </message>
    <message>
        <source>Der Eintrag zu &quot;%1&quot; kann nicht gespeichert werden: %2</source>
        <translation>The entry for &quot;%1&quot; cannot be saved: %2</translation>
    </message>
    <message>
        <source>er enthält einen Zeilenumbruch</source>
        <translation>it contains a line break</translation>
    </message>
    <message>
        <source>er ist länger als %1 Zeichen</source>
        <translation>it is longer than %1 characters</translation>
    </message>
</context>
<context>
    <name>CallerListModel</name>
    <message>
        <source>Rufnummer</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Gesperrt</source>
        <translation>Blocked</translation>
    </message>
</context>
<context>
    <name>CapiSession</name>
    <message>
        <source>Autom. Anruferkennung deaktiviert ...</source>
        <translation>Autom. caller identification off ...</translation>
    </message>
    <message>
        <source>Autom. Anruferkennung wird aktiviert ...</source>
        <translation>Autom. caller identification starting ...</translation>
    </message>
    <message>
        <source>Autom. Anruferkennung aktiviert ...</source>
        <translation>Autom. caller identification on ...</translation>
    </message>
    <message>
        <source>Capi20 nicht installiert !</source>
        <translation>Capi20 not installed !</translation>
    </message>
</context>
<context>
    <name>Contact</name>
    <message>
        <source>%1 kann nicht gelesen werden: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>%1 ist zu groß für ein Adressbuch</source>
        <translation>%1 is too large for an address book</translation>
    </message>
    <message>
        <source>%1 ist keine gewöhnliche Datei</source>
        <translation>%1 is not a regular file</translation>
    </message>
</context>
<context>
    <name>ContactImport</name>
    <message>
        <source>Neu: %1<byte value="xd"/>Name geändert: %2<byte value="xd"/>Unverändert: %3<byte value="xd"/>Übersprungen: %4</source>
        <translation>New: %1<byte value="xd"/>Name changed: %2<byte value="xd"/>Unchanged: %3<byte value="xd"/>Skipped: %4</translation>
    </message>
    <message>
        <source>ohne Rufnummer</source>
        <translation>without number</translation>
    </message>
    <message>
        <source>ohne Namen</source>
        <translation>without name</translation>
    </message>
    <message>
        <source>Rufnummer unbrauchbar</source>
        <translation>number unusable</translation>
    </message>
    <message>
        <source>Rufnummer doppelt</source>
        <translation>number twice</translation>
    </message>
    <message>
        <source>vom Benutzer anders benannt</source>
        <translation>named otherwise by the user</translation>
    </message>
    <message>
        <source>%1 enthält keine Kontakte.</source>
        <translation>%1 contains no contacts.</translation>
    </message>
    <message>
        <source>%1 ist zu groß für den freien Speicher</source>
        <translation>%1 is too large for the free memory</translation>
    </message>
</context>
<context>
    <name>DInfoClient</name>
    <message>
        <source>D-Info wird nicht gestartet:<byte value="xd"/>%1 kann auch von anderen Benutzern geändert werden.</source>
        <translation>D-Info is not started:<byte value="xd"/>%1 can be changed by other users as well.</translation>
    </message>
    <message>
        <source>D-Info wird nicht gestartet:<byte value="xd"/>%1 gehört einem anderen Benutzer.</source>
        <translation>D-Info is not started:<byte value="xd"/>%1 belongs to another user.</translation>
    </message>
    <message>
        <source>rufwart-dinfo liegt nicht neben %1</source>
        <translation>rufwart-dinfo is not beside %1</translation>
    </message>
    <message>
        <source>%1 kann nicht angelegt werden</source>
        <translation>cannot create %1</translation>
    </message>
</context>
<context>
    <name>DInfoService</name>
    <message>
        <source>D-Info nicht installiert !</source>
        <translation>D-Info not installed !</translation>
    </message>
    <message>
        <source>Fehler beim Laden von DInfo ...</source>
        <translation>Error loading D-Info ...</translation>
    </message>
    <message>
        <source><byte value="xd"/>Funktion wurde deaktiviert .</source>
        <translation><byte value="xd"/>The function has been switched off .</translation>
    </message>
    <message>
        <source>D-Info wurde beendet und wird neu gestartet ...</source>
        <translation>D-Info ended and is being restarted ...</translation>
    </message>
</context>
<context>
    <name>DdeServer</name>
    <message>
        <source>%1 wird schon von einem anderen Programm bedient</source>
        <translation>%1 is already served by another program</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>Sperren</source>
        <translation>Block</translation>
    </message>
    <message>
        <source>Bearbeiten</source>
        <translation>Edit</translation>
    </message>
</context>
<context>
    <name>HeadlessMonitor</name>
    <message>
        <source>Rufwart 32 läuft bereits ohne Fenster; dieser Start endet.</source>
        <translation>Rufwart 32 already runs without a window; this start ends.</translation>
    </message>
    <message>
        <source>Rufwart 32 läuft bereits mit Fenster; dieser Start endet.</source>
        <translation>Rufwart 32 already runs with its window; this start ends.</translation>
    </message>
    <message>
        <source>Beendet.</source>
        <translation>Ended.</translation>
    </message>
</context>
<context>
    <name>JournalModel</name>
    <message>
        <source>Datum</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Uhrzeit</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>MSN</source>
        <translation>MSN</translation>
    </message>
    <message>
        <source>Anrufer</source>
        <translation>Caller</translation>
    </message>
</context>
<context>
    <name>MissedCalls</name>
    <message>
        <source>1 Anruf in Abwesenheit</source>
        <translation>1 missed call</translation>
    </message>
    <message>
        <source>%1 Anrufe in Abwesenheit</source>
        <translation>%1 missed calls</translation>
    </message>
</context>
<context>
    <name>MqttClient</name>
    <message>
        <source>kein Broker eingestellt</source>
        <translation>no broker set</translation>
    </message>
    <message>
        <source>MQTT-Client konnte nicht angelegt werden</source>
        <translation>the MQTT client could not be created</translation>
    </message>
    <message>
        <source>Benutzername oder Kennwort ungültig</source>
        <translation>user name or password invalid</translation>
    </message>
    <message>
        <source>CA-Datei %1 nicht gefunden</source>
        <translation>CA file %1 not found</translation>
    </message>
    <message>
        <source>TLS nicht einstellbar: %1</source>
        <translation>TLS cannot be set up: %1</translation>
    </message>
</context>
<context>
    <name>MqttPublisher</name>
    <message>
        <source>MQTT: keine Verbindung zu %1 (%2)</source>
        <translation>MQTT: no connection to %1 (%2)</translation>
    </message>
    <message>
        <source>MQTT: verbunden mit %1</source>
        <translation>MQTT: connected to %1</translation>
    </message>
</context>
<context>
    <name>MqttSubscriber</name>
    <message>
        <source>MQTT: verbunden mit %1</source>
        <translation>MQTT: connected to %1</translation>
    </message>
    <message>
        <source>MQTT: keine Verbindung zu %1 (%2)</source>
        <translation>MQTT: no connection to %1 (%2)</translation>
    </message>
</context>
<context>
    <name>NetworkOptionsTab</name>
    <message>
        <source>leer: kein Broker</source>
        <translation>empty: no broker</translation>
    </message>
    <message>
        <source>TLS</source>
        <translation>TLS</translation>
    </message>
    <message>
        <source>Home Assistant</source>
        <translation>Home Assistant</translation>
    </message>
    <message>
        <source>Nur Anzeige</source>
        <translation>Display only</translation>
    </message>
    <message>
        <source>Kein ISDN-Zugang: zeigt die Anrufe der anderen Rechner (ab dem nächsten Start).</source>
        <translation>No ISDN access: shows the calls of the other computers (from the next start).</translation>
    </message>
    <message>
        <source>Befehle anderer Rechner annehmen</source>
        <translation>Accept commands of other computers</translation>
    </message>
    <message>
        <source>Broker</source>
        <translation>Broker</translation>
    </message>
    <message>
        <source>CA-Datei</source>
        <translation>CA file</translation>
    </message>
    <message>
        <source>Benutzer</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Kennwort</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>CA-Datei auswählen ...</source>
        <translation>Choose CA file ...</translation>
    </message>
    <message>
        <source>Zertifikate|*.pem;*.crt|Alle|*.*</source>
        <translation>Certificates|*.pem;*.crt|All|*.*</translation>
    </message>
    <message>
        <source>Der Name darf weder /, + noch # enthalten.</source>
        <translation>The name may contain neither /, + nor #.</translation>
    </message>
    <message>
        <source>Die CA-Datei %1 kann nicht gelesen werden.</source>
        <translation>The CA file %1 cannot be read.</translation>
    </message>
</context>
<context>
    <name>OptionsPage</name>
    <message>
        <source>optionen</source>
        <translation>options</translation>
    </message>
    <message>
        <source>Aktiv</source>
        <translation>Active</translation>
    </message>
    <message>
        <source>Anrufe ignorieren</source>
        <translation>Ignore calls</translation>
    </message>
    <message>
        <source>Autostart</source>
        <translation>Autostart</translation>
    </message>
    <message>
        <source>Anzeigen bei Anruf</source>
        <translation>Show on call</translation>
    </message>
    <message>
        <source>Beep / Sound  bei Anruf</source>
        <translation>Beep / sound  on call</translation>
    </message>
    <message>
        <source>Autom. minimieren</source>
        <translation>Minimize autom.</translation>
    </message>
    <message>
        <source>Zeit (s) :</source>
        <translation>Time (s) :</translation>
    </message>
    <message>
        <source>Protokoll schreiben</source>
        <translation>Write log</translation>
    </message>
    <message>
        <source>Null erzeugen</source>
        <translation>Add leading zero</translation>
    </message>
    <message>
        <source>Externes Fenster</source>
        <translation>External window</translation>
    </message>
    <message>
        <source>Fenster - Einstellungen ...</source>
        <translation>Window - settings ...</translation>
    </message>
    <message>
        <source>Datenübertragung</source>
        <translation>Data transfer</translation>
    </message>
    <message>
        <source>Empfang</source>
        <translation>Receive</translation>
    </message>
    <message>
        <source>Senden</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>D-Info</source>
        <translation>D-Info</translation>
    </message>
    <message>
        <source>Pfad</source>
        <translation>Path</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>D-Info 3.0</source>
        <translation>D-Info 3.0</translation>
    </message>
    <message>
        <source>D-Info 97</source>
        <translation>D-Info 97</translation>
    </message>
    <message>
        <source>Anrufer bei Anruf aus D-Info ermitteln</source>
        <translation>Look callers up in D-Info on a call</translation>
    </message>
    <message>
        <source>CAPI</source>
        <translation>CAPI</translation>
    </message>
    <message>
        <source>CAPI über TCP (Host:Port)</source>
        <translation>CAPI over TCP (host:port)</translation>
    </message>
    <message>
        <source>Zurück ...</source>
        <translation>Back ...</translation>
    </message>
    <message>
        <source>Sprache (gilt ab dem nächsten Start)</source>
        <translation>Language (takes effect at the next start)</translation>
    </message>
    <message>
        <source>Automatisch</source>
        <translation>Automatic</translation>
    </message>
    <message>
        <source>Verzeichnis auswählen ...</source>
        <translation>Choose folder ...</translation>
    </message>
    <message>
        <source>Sendeverzeichnis ungültig .</source>
        <translation>Send folder invalid .</translation>
    </message>
    <message>
        <source>Empfangsverzeichnis ungültig .</source>
        <translation>Receive folder invalid .</translation>
    </message>
    <message>
        <source>DINFO-97 HINWEIS !<byte value="xd"/><byte value="xd"/>Nur lauffähig mit DInfo 97 32Bit<byte value="xd"/>ServicePack B oder höher .<byte value="xd"/><byte value="xd"/>Download: www.dinfo.de</source>
        <translation>DINFO-97 NOTE !<byte value="xd"/><byte value="xd"/>Runs only with DInfo 97 32-bit<byte value="xd"/>Service Pack B or later .<byte value="xd"/><byte value="xd"/>Download: www.dinfo.de</translation>
    </message>
    <message>
        <source>CAPI über TCP: bitte als Host:Port angeben, z.B. 192.168.178.1:5031 .</source>
        <translation>CAPI over TCP: please give it as host:port, e.g. 192.168.178.1:5031 .</translation>
    </message>
    <message>
        <source>Netz</source>
        <translation>Network</translation>
    </message>
</context>
<context>
    <name>RingDecision</name>
    <message>
        <source> --&gt; gesperrt</source>
        <translation> --&gt; blocked</translation>
    </message>
    <message>
        <source>Anrufer ist gesperrt !</source>
        <translation>Caller is blocked !</translation>
    </message>
    <message>
        <source>Anruf wird ignoriert !</source>
        <translation>Call is ignored !</translation>
    </message>
    <message>
        <source>Analog</source>
        <translation>Analog</translation>
    </message>
    <message>
        <source>Digital</source>
        <translation>Digital</translation>
    </message>
    <message>
        <source>Fax Gr.3</source>
        <translation>Fax Gr.3</translation>
    </message>
    <message>
        <source>Fax Gr.4</source>
        <translation>Fax Gr.4</translation>
    </message>
    <message>
        <source>DFÜ 64000 bps</source>
        <translation>Data 64000 bps</translation>
    </message>
    <message>
        <source>DFÜ 56000 bps</source>
        <translation>Data 56000 bps</translation>
    </message>
    <message>
        <source>Unbekannt</source>
        <translation>Unknown</translation>
    </message>
    <message>
        <source>Anruf auf %1 !</source>
        <translation>Call on %1 !</translation>
    </message>
</context>
<context>
    <name>ServiceSet</name>
    <message>
        <source>Alle Anrufe</source>
        <translation>All calls</translation>
    </message>
    <message>
        <source>Analog</source>
        <translation>Analog</translation>
    </message>
    <message>
        <source>Digital</source>
        <translation>Digital</translation>
    </message>
    <message>
        <source>Fax Gruppe 3</source>
        <translation>Fax group 3</translation>
    </message>
    <message>
        <source>Fax Gruppe 4</source>
        <translation>Fax group 4</translation>
    </message>
    <message>
        <source>DFÜ 64K</source>
        <translation>Data 64K</translation>
    </message>
    <message>
        <source>DFÜ 56K</source>
        <translation>Data 56K</translation>
    </message>
    <message>
        <source>Unbekannte Dienste</source>
        <translation>Unknown services</translation>
    </message>
</context>
<context>
    <name>SettingsStore</name>
    <message>
        <source>nach %1 kann nicht geschrieben werden</source>
        <translation>cannot write to %1</translation>
    </message>
    <message>
        <source>Ungültiger Name für eine Einstellung: &quot;%1&quot;</source>
        <translation>Invalid name for a setting: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Der Wert %1 in %2 ist kein Text</source>
        <translation>The value %1 in %2 is no text</translation>
    </message>
    <message>
        <source>Ungültiger Name für einen Autostart-Eintrag: &quot;%1&quot;</source>
        <translation>Invalid name for an autostart entry: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Ungültiger Programmpfad für den Autostart: &quot;%1&quot;</source>
        <translation>Invalid program path for the autostart: &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Der Registrierungsschlüssel %1 wird nicht unterstützt</source>
        <translation>The registry key %1 is not supported</translation>
    </message>
</context>
<context>
    <name>Startup</name>
    <message>
        <source><byte value="xd"/><byte value="xd"/>Dort könnte ein anderer Benutzer den Start verhindern; Rufwart 32 wird nicht gestartet.</source>
        <translation><byte value="xd"/><byte value="xd"/>Another user could prevent the start there; Rufwart 32 is not started.</translation>
    </message>
    <message>
        <source>Der Ordner für die Sperrdatei %1 fehlt oder ist kein Ordner.</source>
        <translation>The folder for the lock file %1 is missing or is no folder.</translation>
    </message>
    <message>
        <source>Der Ordner für die Sperrdatei %1 gehört einem anderen Benutzer.</source>
        <translation>The folder for the lock file %1 belongs to another user.</translation>
    </message>
    <message>
        <source>Der Ordner für die Sperrdatei %1 ist für andere Benutzer beschreibbar.</source>
        <translation>The folder for the lock file %1 is writable for other users.</translation>
    </message>
    <message>
        <source>Rufwart 32 läuft bereits ohne Fenster (rufwart --headless). Das Fenster kann erst starten, wenn dieser Monitor beendet ist.</source>
        <translation>Rufwart 32 already runs without a window (rufwart --headless). The window can start only once that monitor has ended.</translation>
    </message>
</context>
<context>
    <name>StatisticsChart</name>
    <message>
        <source>Anrufe pro Tag</source>
        <translation>Calls per day</translation>
    </message>
    <message>
        <source>Anrufe nach Wochentag und Uhrzeit</source>
        <translation>Calls by weekday and time of day</translation>
    </message>
    <message>
        <source>Die häufigsten Anrufer</source>
        <translation>The most frequent callers</translation>
    </message>
    <message>
        <source>Anrufe pro MSN</source>
        <translation>Calls per MSN</translation>
    </message>
    <message>
        <source>Gesperrte und andere Anrufer</source>
        <translation>Blocked and other callers</translation>
    </message>
    <message>
        <source>%1 bis %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>Keine Anrufe</source>
        <translation>No calls</translation>
    </message>
    <message>
        <source>Mo</source>
        <translation>Mon</translation>
    </message>
    <message>
        <source>Di</source>
        <translation>Tue</translation>
    </message>
    <message>
        <source>Mi</source>
        <translation>Wed</translation>
    </message>
    <message>
        <source>Do</source>
        <translation>Thu</translation>
    </message>
    <message>
        <source>Fr</source>
        <translation>Fri</translation>
    </message>
    <message>
        <source>Sa</source>
        <translation>Sat</translation>
    </message>
    <message>
        <source>So</source>
        <translation>Sun</translation>
    </message>
    <message>
        <source>(keine)</source>
        <translation>(none)</translation>
    </message>
    <message>
        <source>Gesperrte Anrufer</source>
        <translation>Blocked callers</translation>
    </message>
    <message>
        <source>Andere Anrufer</source>
        <translation>Other callers</translation>
    </message>
    <message>
        <source>%1: %2 (%3 %)</source>
        <translation>%1: %2 (%3 %)</translation>
    </message>
</context>
<context>
    <name>StatisticsDialog</name>
    <message>
        <source>Statistik</source>
        <translation>Statistics</translation>
    </message>
    <message>
        <source>Pro Tag</source>
        <translation>Per day</translation>
    </message>
    <message>
        <source>Wochentag und Uhrzeit</source>
        <translation>Weekday and time</translation>
    </message>
    <message>
        <source>Anrufer</source>
        <translation>Callers</translation>
    </message>
    <message>
        <source>MSN</source>
        <translation>MSN</translation>
    </message>
    <message>
        <source>Gesperrt</source>
        <translation>Blocked</translation>
    </message>
    <message>
        <source>Letzte %1 Tage</source>
        <translation>Last %1 days</translation>
    </message>
    <message>
        <source>Zeitraum der Anrufe pro Tag</source>
        <translation>Period of the calls per day</translation>
    </message>
    <message>
        <source>Als &amp;PNG speichern ...</source>
        <translation>Save as &amp;PNG ...</translation>
    </message>
    <message>
        <source>&amp;Schließen</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>1 Anruf</source>
        <translation>1 call</translation>
    </message>
    <message>
        <source>%1 Anrufe</source>
        <translation>%1 calls</translation>
    </message>
    <message>
        <source>%1 mit „%2“</source>
        <translation>%1 with “%2”</translation>
    </message>
    <message>
        <source>Diagramm speichern</source>
        <translation>Save chart</translation>
    </message>
    <message>
        <source>PNG-Bilder|*.png</source>
        <translation>PNG images|*.png</translation>
    </message>
    <message>
        <source>Das Diagramm kann nicht als PNG-Bild gespeichert werden.</source>
        <translation>The chart cannot be saved as a PNG image.</translation>
    </message>
</context>
<context>
    <name>StoreWorker</name>
    <message>
        <source>Unbekannter Fehler beim Schreiben</source>
        <translation>Unknown error while writing</translation>
    </message>
</context>
<context>
    <name>TButtonEdit</name>
    <message>
        <source>Auswählen ... (F2)</source>
        <translation>Choose ... (F2)</translation>
    </message>
</context>
<context>
    <name>TTrayIcon</name>
    <message>
        <source>D-Info 97 - Datenbank</source>
        <translation>D-Info 97 - database</translation>
    </message>
</context>
<context>
    <name>TfmAbout</name>
    <message>
        <source>Über Rufwart 32</source>
        <translation>About Rufwart 32</translation>
    </message>
    <message>
        <source>&lt;b&gt;Rufwart 32  v2.2&lt;/b&gt;&lt;br&gt;&lt;br&gt;ISDN-Anrufmonitor für CAPI 2.0&lt;br&gt;Anrufererkennung, Anrufjournal und Datenübertragung&lt;br&gt;&lt;br&gt;Qt %1&lt;br&gt;Lizenz: GPL-2.0-or-later</source>
        <translation>&lt;b&gt;Rufwart 32  v2.2&lt;/b&gt;&lt;br&gt;&lt;br&gt;ISDN call monitor for CAPI 2.0&lt;br&gt;Caller identification, call journal and data transfer&lt;br&gt;&lt;br&gt;Qt %1&lt;br&gt;Licence: GPL-2.0-or-later</translation>
    </message>
    <message>
        <source>&amp;Weiter</source>
        <translation>&amp;OK</translation>
    </message>
</context>
<context>
    <name>TfmAnruf</name>
    <message>
        <source>Anrufer</source>
        <translation>Callers</translation>
    </message>
    <message>
        <source>Sortieren nach : </source>
        <translation>Sort by : </translation>
    </message>
    <message>
        <source>Nummer</source>
        <translation>Number</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>&amp;Hinweis</source>
        <translation>&amp;Hint</translation>
    </message>
    <message>
        <source>&amp;D-Info</source>
        <translation>&amp;D-Info</translation>
    </message>
    <message>
        <source>&amp;Zufügen</source>
        <translation>&amp;Add</translation>
    </message>
    <message>
        <source>&amp;Löschen</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>&amp;Anwahl</source>
        <translation>D&amp;ial</translation>
    </message>
    <message>
        <source>Schli&amp;eßen</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>&amp;Importieren ...</source>
        <translation>&amp;Import ...</translation>
    </message>
    <message>
        <source>Namen aus einem Adressbuch (vCard oder CSV) übernehmen</source>
        <translation>Take names from an address book (vCard or CSV)</translation>
    </message>
    <message>
        <source>Um einen Anrufer zu sperren,<byte value="xd"/>fügen Sie ein &quot;X&quot; in die<byte value="xd"/>Spalte &quot;Gesperrt&quot; ein !</source>
        <translation>To block a caller,<byte value="xd"/>put an &quot;X&quot; into the<byte value="xd"/>column &quot;Blocked&quot; !</translation>
    </message>
    <message>
        <source>Eintrag zufügen ?</source>
        <translation>Add entry ?</translation>
    </message>
    <message>
        <source>Eintrag löschen ?</source>
        <translation>Delete entry ?</translation>
    </message>
    <message>
        <source>&amp;Auflegen</source>
        <translation>&amp;Hang up</translation>
    </message>
    <message>
        <source>Adressbuch importieren</source>
        <translation>Import address book</translation>
    </message>
    <message>
        <source>Adressbücher|*.vcf;*.vcard;*.csv|Alle Dateien|*</source>
        <translation>Address books|*.vcf;*.vcard;*.csv|All files|*</translation>
    </message>
    <message>
        <source>Ein Eintrag trägt schon einen eigenen Namen,<byte value="xd"/>den das Adressbuch anders nennt.<byte value="xd"/><byte value="xd"/>Auch diesen Namen ersetzen ?</source>
        <translation>One entry already has a name of its own<byte value="xd"/>that the address book gives otherwise.<byte value="xd"/><byte value="xd"/>Replace this name too ?</translation>
    </message>
    <message>
        <source>%1 Einträge tragen schon eigene Namen,<byte value="xd"/>die das Adressbuch anders nennt.<byte value="xd"/><byte value="xd"/>Auch diese Namen ersetzen ?</source>
        <translation>%1 entries already have names of their own<byte value="xd"/>that the address book gives otherwise.<byte value="xd"/><byte value="xd"/>Replace these names too ?</translation>
    </message>
    <message>
        <source><byte value="xd"/><byte value="xd"/>Nichts zu übernehmen.</source>
        <translation><byte value="xd"/><byte value="xd"/>Nothing to take over.</translation>
    </message>
    <message>
        <source><byte value="xd"/><byte value="xd"/>Übernehmen und die Liste speichern ?</source>
        <translation><byte value="xd"/><byte value="xd"/>Take over and save the list ?</translation>
    </message>
    <message>
        <source>Änderungen speichern ?</source>
        <translation>Save changes ?</translation>
    </message>
</context>
<context>
    <name>TfmCallMsg</name>
    <message>
        <source>Anruf von</source>
        <translation>Call from</translation>
    </message>
    <message>
        <source>Anruf </source>
        <translation>Call </translation>
    </message>
</context>
<context>
    <name>TfmCapiInfo</name>
    <message>
        <source>unbekannt</source>
        <translation>unknown</translation>
    </message>
    <message>
        <source>Information zur ISDN-Karte / CAPI</source>
        <translation>Information on the ISDN card / CAPI</translation>
    </message>
    <message>
        <source>Kartenhersteller :</source>
        <translation>Card maker :</translation>
    </message>
    <message>
        <source>Capi Version :</source>
        <translation>Capi version :</translation>
    </message>
    <message>
        <source>Serien-Nummer :</source>
        <translation>Serial number :</translation>
    </message>
    <message>
        <source>Schließen</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Verbindung zur CAPI verloren</source>
        <translation>Connection to the CAPI lost</translation>
    </message>
    <message>
        <source>Verbindung zum CAPI-Server %1 verloren</source>
        <translation>Connection to the CAPI server %1 lost</translation>
    </message>
</context>
<context>
    <name>TfmDInfMsg</name>
    <message>
        <source>Anruf von </source>
        <translation>Call from </translation>
    </message>
    <message>
        <source>D-Info Suche läuft ...</source>
        <translation>D-Info search running ...</translation>
    </message>
    <message>
        <source>Bitte einen Moment Geduld ...</source>
        <translation>One moment, please ...</translation>
    </message>
</context>
<context>
    <name>TfmDInfo</name>
    <message>
        <source>Starten Sie die Suche ....</source>
        <translation>Start the search ....</translation>
    </message>
    <message>
        <source>Suche Eintrag ...</source>
        <translation>Searching entry ...</translation>
    </message>
    <message>
        <source>Neue Suche ?</source>
        <translation>New search ?</translation>
    </message>
    <message>
        <source>Nummer zu lang !</source>
        <translation>Number too long !</translation>
    </message>
    <message>
        <source>D-Info - Suche</source>
        <translation>D-Info - search</translation>
    </message>
    <message>
        <source>Suchen nach :</source>
        <translation>Search for :</translation>
    </message>
    <message>
        <source>Suche starten</source>
        <translation>Start search</translation>
    </message>
    <message>
        <source>&amp;Abrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>Über&amp;nehmen</source>
        <translation>&amp;Take over</translation>
    </message>
    <message>
        <source>Kein Teilnehmer gefunden !</source>
        <translation>No subscriber found !</translation>
    </message>
    <message>
        <source>DDE Fehler !</source>
        <translation>DDE error !</translation>
    </message>
</context>
<context>
    <name>TfmExtWin</name>
    <message>
        <source>Erika Mustermann</source>
        <translation>Jane Doe</translation>
    </message>
    <message>
        <source>Verschieben in die gewünschte Position ?</source>
        <translation>Move to the position you want ?</translation>
    </message>
    <message>
        <source>Fenster - Einstellungen (Anrufdialog)</source>
        <translation>Window - settings (call dialog)</translation>
    </message>
    <message>
        <source>Hintergrund - Bitmap verwenden ?</source>
        <translation>Use background bitmap ?</translation>
    </message>
    <message>
        <source>Animation verwenden ?</source>
        <translation>Use animation ?</translation>
    </message>
    <message>
        <source>Anruffenster</source>
        <translation>Call window</translation>
    </message>
    <message>
        <source>Desktop-Benachrichtigung</source>
        <translation>Desktop notification</translation>
    </message>
    <message>
        <source>Gilt, wenn „Externes Fenster“ in den Optionen angekreuzt ist.</source>
        <translation>Applies when “External window” is ticked in the options.</translation>
    </message>
    <message>
        <source>&amp;Vorschau</source>
        <translation>&amp;Preview</translation>
    </message>
    <message>
        <source>&amp;Abbrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;Speichern</source>
        <translation>&amp;Save</translation>
    </message>
    <message>
        <source>Hintergrund - Bitmap</source>
        <translation>Background - bitmap</translation>
    </message>
    <message>
        <source>Hintergrund - Farbe</source>
        <translation>Background - colour</translation>
    </message>
    <message>
        <source>Schrift - Farbe</source>
        <translation>Text - colour</translation>
    </message>
    <message>
        <source>Anzeige als</source>
        <translation>Show as</translation>
    </message>
    <message>
        <source>Bitmap auswählen ...</source>
        <translation>Choose bitmap ...</translation>
    </message>
    <message>
        <source>Bitmaps|*.bmp</source>
        <translation>Bitmaps|*.bmp</translation>
    </message>
    <message>
        <source>Unter Wayland bestimmt der Desktop, wo Fenster erscheinen; die gewählte Position wirkt dort nicht.</source>
        <translation>Under Wayland the desktop decides where windows appear; the chosen position has no effect there.</translation>
    </message>
</context>
<context>
    <name>TfmHistorie</name>
    <message>
        <source>Anrufjournal</source>
        <translation>Call journal</translation>
    </message>
    <message>
        <source>Suchen ...</source>
        <translation>Search ...</translation>
    </message>
    <message>
        <source>Rufnummer, Name, MSN oder Datum (Strg+F)</source>
        <translation>Number, name, MSN or date (Ctrl+F)</translation>
    </message>
    <message>
        <source>&amp;Exportieren ...</source>
        <translation>&amp;Export ...</translation>
    </message>
    <message>
        <source>&amp;Löschen</source>
        <translation>&amp;Delete</translation>
    </message>
    <message>
        <source>&amp;Schließen</source>
        <translation>&amp;Close</translation>
    </message>
    <message>
        <source>Anrufjournal löschen ?</source>
        <translation>Delete call journal ?</translation>
    </message>
    <message>
        <source>Anrufjournal exportieren</source>
        <translation>Export call journal</translation>
    </message>
    <message>
        <source>CSV-Dateien|*.csv</source>
        <translation>CSV files|*.csv</translation>
    </message>
    <message>
        <source>Anrufer bearbeiten</source>
        <translation>Edit caller</translation>
    </message>
    <message>
        <source>Anrufer sperren</source>
        <translation>Block caller</translation>
    </message>
    <message>
        <source>Zu diesem Anruf ist nur die Gruppe %1 bekannt, nicht die Rufnummer des Anrufers.<byte value="xd"/><byte value="xd"/>Alle Anrufer der Gruppe %1 sperren ?</source>
        <translation>Of this call only the group %1 is known, not the caller&apos;s number.<byte value="xd"/><byte value="xd"/>Block all callers of the group %1 ?</translation>
    </message>
    <message>
        <source>Statistik</source>
        <translation>Statistics</translation>
    </message>
</context>
<context>
    <name>TfmMain</name>
    <message>
        <source>Rufwart 32  v2.2</source>
        <translation>Rufwart 32  v2.2</translation>
    </message>
    <message>
        <source>Vorgabe</source>
        <translation>Default</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Anruferübersicht</source>
        <translation>Caller list</translation>
    </message>
    <message>
        <source>Serice-Konfiguration</source>
        <translation>Service settings</translation>
    </message>
    <message>
        <source>Optionen</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>Anrufjournal ...</source>
        <translation>Call journal ...</translation>
    </message>
    <message>
        <source>Anrufer abweisen ...</source>
        <translation>Reject callers ...</translation>
    </message>
    <message>
        <source>MSN &amp; Sound Konfiguration</source>
        <translation>MSN &amp; sound settings</translation>
    </message>
    <message>
        <source>Anrufe :</source>
        <translation>Calls :</translation>
    </message>
    <message>
        <source>Anruferdaten ?</source>
        <translation>Caller data ?</translation>
    </message>
    <message>
        <source>Anruf</source>
        <translation>Call</translation>
    </message>
    <message>
        <source>Anruf von</source>
        <translation>Call from</translation>
    </message>
    <message>
        <source> (kein Infobereich)</source>
        <translation> (no notification area)</translation>
    </message>
    <message>
        <source>Service-Konfiguration</source>
        <translation>Service settings</translation>
    </message>
    <message>
        <source>Anrufe ...</source>
        <translation>Calls ...</translation>
    </message>
    <message>
        <source>Anrufdialog konfigurieren</source>
        <translation>Configure call dialog</translation>
    </message>
    <message>
        <source>MSN / Sound Konfiguration</source>
        <translation>MSN / sound settings</translation>
    </message>
    <message>
        <source>Datenübertragung</source>
        <translation>Data transfer</translation>
    </message>
    <message>
        <source>Servermodus</source>
        <translation>Server mode</translation>
    </message>
    <message>
        <source>Verbindungsaufbau</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Information zur ISDN-Karte / CAPI</source>
        <translation>Information on the ISDN card / CAPI</translation>
    </message>
    <message>
        <source>Hinweise / Release Information</source>
        <translation>Notes / release information</translation>
    </message>
    <message>
        <source>Über Rufwart 32</source>
        <translation>About Rufwart 32</translation>
    </message>
    <message>
        <source>Programm beenden</source>
        <translation>Quit program</translation>
    </message>
    <message>
        <source><byte value="xd"/><byte value="xd"/>Nochmals versuchen ?</source>
        <translation><byte value="xd"/><byte value="xd"/>Try again ?</translation>
    </message>
    <message>
        <source> (kein Benachrichtigungsdienst)</source>
        <translation> (no notification service)</translation>
    </message>
    <message>
        <source>Statistik ...</source>
        <translation>Statistics ...</translation>
    </message>
    <message>
        <source>Nur Anzeige: Anrufe anderer Rechner ...</source>
        <translation>Display only: calls of other computers ...</translation>
    </message>
</context>
<context>
    <name>TfmMsgDlg</name>
    <message>
        <source>&amp;Nein</source>
        <translation>&amp;No</translation>
    </message>
    <message>
        <source>&amp;Ja</source>
        <translation>&amp;Yes</translation>
    </message>
    <message>
        <source>&amp;Abbrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;Weiter</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Ignorieren</source>
        <translation>&amp;Ignore</translation>
    </message>
    <message>
        <source>Mitteilung</source>
        <translation>Message</translation>
    </message>
    <message>
        <source>&amp;Abrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
</context>
<context>
    <name>TfmMsnMap</name>
    <message>
        <source>MSN-Konfiguration</source>
        <translation>MSN settings</translation>
    </message>
    <message>
        <source>Eingaben ohne Vorwahl</source>
        <translation>Entries without area code</translation>
    </message>
    <message>
        <source>Sound zuweisen ...  </source>
        <translation>Assign sound ...  </translation>
    </message>
    <message>
        <source>&amp;Sound</source>
        <translation>&amp;Sound</translation>
    </message>
    <message>
        <source>&amp;Weiter</source>
        <translation>&amp;OK</translation>
    </message>
    <message>
        <source>&amp;Abbrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;MSN</source>
        <translation>&amp;MSN</translation>
    </message>
    <message>
        <source>Soundauswahl ...</source>
        <translation>Choose sound ...</translation>
    </message>
    <message>
        <source>Wavedateien|*.wav</source>
        <translation>Wave files|*.wav</translation>
    </message>
</context>
<context>
    <name>TfmReadme</name>
    <message>
        <source>%1 kann nicht gelesen werden: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
    <message>
        <source>Hinweise / Release Information</source>
        <translation>Notes / release information</translation>
    </message>
    <message>
        <source>Keine Hinweise vorhanden ...</source>
        <translation>No notes available ...</translation>
    </message>
</context>
<context>
    <name>TfmServMap</name>
    <message>
        <source>Service-Konfiguration</source>
        <translation>Service settings</translation>
    </message>
    <message>
        <source>Übernehmen</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Abbrechen</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TfmStamm</name>
    <message>
        <source>Anruferdaten</source>
        <translation>Caller data</translation>
    </message>
    <message>
        <source>Rufnummer :</source>
        <translation>Number :</translation>
    </message>
    <message>
        <source>Name :</source>
        <translation>Name :</translation>
    </message>
    <message>
        <source>Gesperrt</source>
        <translation>Blocked</translation>
    </message>
    <message>
        <source>Über&amp;nehmen</source>
        <translation>&amp;Take over</translation>
    </message>
    <message>
        <source>&amp;Abrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>&amp;D-Info</source>
        <translation>&amp;D-Info</translation>
    </message>
</context>
<context>
    <name>TfmUpdate</name>
    <message>
        <source>Datenkonvertierung</source>
        <translation>Data conversion</translation>
    </message>
    <message>
        <source>Bitte warten ...</source>
        <translation>Please wait ...</translation>
    </message>
    <message>
        <source>Aktion</source>
        <translation>Action</translation>
    </message>
    <message>
        <source>Konvertiere Anruf-Journal ...</source>
        <translation>Converting call journal ...</translation>
    </message>
</context>
<context>
    <name>TransferPages</name>
    <message>
        <source>Progress</source>
        <translation>Progress</translation>
    </message>
    <message>
        <source>Bytes / Sek. : </source>
        <translation>Bytes / sec. : </translation>
    </message>
    <message>
        <source>Vorgänge :</source>
        <translation>Transfers :</translation>
    </message>
    <message>
        <source>0 %</source>
        <translation>0 %</translation>
    </message>
    <message>
        <source>&amp;Zurück ...</source>
        <translation>&amp;Back ...</translation>
    </message>
    <message>
        <source>Anwahl</source>
        <translation>Dial</translation>
    </message>
    <message>
        <source>Auswahl :</source>
        <translation>Choice :</translation>
    </message>
    <message>
        <source>Rufnummer :</source>
        <translation>Number :</translation>
    </message>
    <message>
        <source>Betrieb an Nebenstelle</source>
        <translation>Behind a private exchange</translation>
    </message>
    <message>
        <source>Bitte wählen Sie ...</source>
        <translation>Please dial ...</translation>
    </message>
    <message>
        <source>&amp;Verbindung</source>
        <translation>&amp;Connect</translation>
    </message>
    <message>
        <source>&amp;Trennen</source>
        <translation>&amp;Disconnect</translation>
    </message>
    <message>
        <source>&amp;Abbrechen</source>
        <translation>&amp;Cancel</translation>
    </message>
    <message>
        <source>Upload</source>
        <translation>Upload</translation>
    </message>
    <message>
        <source>Dateiauswahl :</source>
        <translation>Files :</translation>
    </message>
    <message>
        <source>&amp;Dateiliste</source>
        <translation>&amp;File list</translation>
    </message>
    <message>
        <source>&amp;Empfangen</source>
        <translation>&amp;Receive</translation>
    </message>
    <message>
        <source>&amp;Senden</source>
        <translation>&amp;Send</translation>
    </message>
    <message>
        <source>Nach Empfang trennen</source>
        <translation>Disconnect after receiving</translation>
    </message>
    <message>
        <source>Gebühren : 0,00</source>
        <translation>Charges : 0.00</translation>
    </message>
    <message>
        <source>Status : 0</source>
        <translation>Status : 0</translation>
    </message>
    <message>
        <source>Rufwart 32 - Servermodus (DATA 64K)</source>
        <translation>Rufwart 32 - server mode (DATA 64K)</translation>
    </message>
    <message>
        <source>Rufwart 32 - Verbindungsaufbau</source>
        <translation>Rufwart 32 - connecting</translation>
    </message>
    <message>
        <source>Rufwart 32 - Empfangen</source>
        <translation>Rufwart 32 - receiving</translation>
    </message>
    <message>
        <source>Rufwart 32 - Senden</source>
        <translation>Rufwart 32 - sending</translation>
    </message>
    <message>
        <source>Warte auf Gegenstelle ...</source>
        <translation>Waiting for the other side ...</translation>
    </message>
    <message>
        <source>Name abgelehnt</source>
        <translation>name refused</translation>
    </message>
    <message>
        <source>Anforderung abgelehnt</source>
        <translation>request refused</translation>
    </message>
    <message>
        <source>Größe stimmt nicht</source>
        <translation>size does not match</translation>
    </message>
    <message>
        <source>Daten ohne Datei</source>
        <translation>data without a file</translation>
    </message>
    <message>
        <source>Schreibfehler</source>
        <translation>write error</translation>
    </message>
    <message>
        <source>Lesefehler</source>
        <translation>read error</translation>
    </message>
    <message>
        <source>Verbindung abgebrochen</source>
        <translation>connection broken off</translation>
    </message>
    <message>
        <source>unvollständig</source>
        <translation>incomplete</translation>
    </message>
    <message>
        <source>nicht angenommen</source>
        <translation>not accepted</translation>
    </message>
    <message>
        <source>andere Übertragung läuft</source>
        <translation>another transfer is running</translation>
    </message>
    <message>
        <source>zu groß</source>
        <translation>too large</translation>
    </message>
    <message>
        <source>kein Platz</source>
        <translation>no space</translation>
    </message>
    <message>
        <source>Fehler %1</source>
        <translation>error %1</translation>
    </message>
    <message>
        <source>Datenübertragung</source>
        <translation>Data transfer</translation>
    </message>
    <message>
        <source>Wähle %1 ...</source>
        <translation>Dialling %1 ...</translation>
    </message>
    <message>
        <source>Warte auf B-Kanal  ...</source>
        <translation>Waiting for B channel  ...</translation>
    </message>
    <message>
        <source>Datenübertragung ...</source>
        <translation>Data transfer ...</translation>
    </message>
    <message>
        <source>B-Kanal Verbindung wird aufgebaut  ...</source>
        <translation>B channel connecting  ...</translation>
    </message>
    <message>
        <source>Datenübertragung beendet ...</source>
        <translation>Data transfer ended ...</translation>
    </message>
    <message>
        <source>B-Kanal Verbindung beendet  ...</source>
        <translation>B channel connection ended  ...</translation>
    </message>
    <message>
        <source>Verbindung getrennt  ...</source>
        <translation>Disconnected  ...</translation>
    </message>
    <message>
        <source>Datei senden ...</source>
        <translation>Send file ...</translation>
    </message>
    <message>
        <source>Alle Dateien|*.*</source>
        <translation>All files|*.*</translation>
    </message>
    <message>
        <source>%1 fehlgeschlagen (%2) ...</source>
        <translation>%1 failed (%2) ...</translation>
    </message>
    <message>
        <source>Empfange %1 ( %2 % erledigt )</source>
        <translation>Receiving %1 ( %2 % done )</translation>
    </message>
    <message>
        <source>Sende %1 ( %2 % erledigt )</source>
        <translation>Sending %1 ( %2 % done )</translation>
    </message>
    <message>
        <source>Empfange %1 ...</source>
        <translation>Receiving %1 ...</translation>
    </message>
    <message>
        <source>Sende %1 ...</source>
        <translation>Sending %1 ...</translation>
    </message>
    <message>
        <source>%1 erfolgreich empfangen ...</source>
        <translation>%1 received ...</translation>
    </message>
    <message>
        <source>%1 erfolgreich gesendet ...</source>
        <translation>%1 sent ...</translation>
    </message>
</context>
<context>
    <name>Utils</name>
    <message>
        <source>nach %1 kann nicht geschrieben werden</source>
        <translation>cannot write to %1</translation>
    </message>
    <message>
        <source>%1 kann nicht gelesen werden: %2</source>
        <translation>cannot read %1: %2</translation>
    </message>
</context>
</TS>
