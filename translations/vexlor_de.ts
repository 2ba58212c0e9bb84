<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AgentList</name>
    <message>
        <source>AGENTS</source>
        <translation>AGENTEN</translation>
    </message>
</context>
<context>
    <name>AllAgentsKeyContent</name>
    <message>
        <source>ALL AGENTS</source>
        <translation>ALLE AGENTEN</translation>
    </message>
    <message>
        <source>OPEN</source>
        <translation>OFFEN</translation>
    </message>
    <message>
        <source>NEED YOU</source>
        <translation>BRAUCHT DICH</translation>
    </message>
    <message>
        <source>tap overview</source>
        <translation>Übersicht antippen</translation>
    </message>
</context>
<context>
    <name>AttentionNotices</name>
    <message>
        <source>%1 needs you</source>
        <translation>%1 braucht dich</translation>
    </message>
    <message>
        <source>+%1 more</source>
        <translation>+%1 weitere</translation>
    </message>
</context>
<context>
    <name>ClaudeCollector</name>
    <message>
        <source>session %1</source>
        <translation>Sitzung %1</translation>
    </message>
    <message>
        <source>online access disabled</source>
        <translation>Online-Zugriff ausgeschaltet</translation>
    </message>
    <message>
        <source>Claude Code OAuth token not found</source>
        <translation>OAuth-Token von Claude Code nicht gefunden</translation>
    </message>
    <message>
        <source>Claude usage HTTP %1</source>
        <translation>Claude-Nutzung: HTTP %1</translation>
    </message>
</context>
<context>
    <name>DeckModel</name>
    <message>
        <source>no session data</source>
        <translation>keine Sitzungsdaten</translation>
    </message>
</context>
<context>
    <name>DeckView</name>
    <message>
        <source>VEXLOR - Quorvane</source>
        <translation>VEXLOR - Quorvane</translation>
    </message>
    <message>
        <source>Claude</source>
        <translation>Claude</translation>
    </message>
    <message>
        <source>Codex</source>
        <translation>Codex</translation>
    </message>
    <message>
        <source>OpenCode</source>
        <translation>OpenCode</translation>
    </message>
    <message>
        <source>Kimi</source>
        <translation>Kimi</translation>
    </message>
    <message>
        <source>PROVIDERS</source>
        <translation>ANBIETER</translation>
    </message>
    <message>
        <source>KEY %1 SHOWS</source>
        <translation>TASTE %1 ZEIGT</translation>
    </message>
</context>
<context>
    <name>DesktopNotifier</name>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
</context>
<context>
    <name>DidYouKnowCard</name>
    <message>
        <source>DID YOU KNOW</source>
        <translation>WUSSTEST DU SCHON</translation>
    </message>
    <message>
        <source>%1 / %2</source>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>DONT SHOW ANYMORE</source>
        <translation>NICHT MEHR ZEIGEN</translation>
    </message>
    <message>
        <source>NEXT TIP</source>
        <translation>NÄCHSTER TIPP</translation>
    </message>
</context>
<context>
    <name>FleetKeyContent</name>
    <message>
        <source>FLEET</source>
        <translation>FLOTTE</translation>
    </message>
    <message>
        <source>ONLINE</source>
        <translation>ONLINE</translation>
    </message>
    <message>
        <source>NEED YOU</source>
        <translation>BRAUCHT DICH</translation>
    </message>
    <message>
        <source>%1 hosts</source>
        <translation>%1 Rechner</translation>
    </message>
    <message>
        <source>no fleet</source>
        <translation>keine Flotte</translation>
    </message>
</context>
<context>
    <name>InfoBarView</name>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
</context>
<context>
    <name>InfoKeyContent</name>
    <message>
        <source>INFO %1/%2</source>
        <translation>INFO %1/%2</translation>
    </message>
</context>
<context>
    <name>InfoSummaryPage</name>
    <message>
        <source>NO AGENTS FOUND</source>
        <translation>KEINE AGENTEN GEFUNDEN</translation>
    </message>
    <message>
        <source>ALL AGENTS</source>
        <translation>ALLE AGENTEN</translation>
    </message>
    <message>
        <source>OPEN</source>
        <translation>OFFEN</translation>
    </message>
    <message>
        <source>WORK</source>
        <translation>AKTIV</translation>
    </message>
    <message>
        <source>NEED YOU</source>
        <translation>BRAUCHT DICH</translation>
    </message>
</context>
<context>
    <name>KeyAssignment</name>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>All agents</source>
        <translation>Alle Agenten</translation>
    </message>
    <message>
        <source>% used</source>
        <translation>% verbraucht</translation>
    </message>
    <message>
        <source>% left</source>
        <translation>% übrig</translation>
    </message>
    <message>
        <source>Tokens &amp; cost</source>
        <translation>Tokens &amp; Kosten</translation>
    </message>
    <message>
        <source>% used session</source>
        <translation>% verbraucht, Sitzung</translation>
    </message>
    <message>
        <source>% left session</source>
        <translation>% übrig, Sitzung</translation>
    </message>
    <message>
        <source>Info pages</source>
        <translation>Infoseiten</translation>
    </message>
    <message>
        <source>Clock</source>
        <translation>Uhr</translation>
    </message>
    <message>
        <source>Empty</source>
        <translation>Leer</translation>
    </message>
    <message>
        <source>Fleet</source>
        <translation>Flotte</translation>
    </message>
</context>
<context>
    <name>KimiCodeCollector</name>
    <message>
        <source>bad session index encoding</source>
        <translation>Sitzungsindex falsch kodiert</translation>
    </message>
</context>
<context>
    <name>OnlinePrompt</name>
    <message>
        <source>ALLOW ONLINE ACCESS?</source>
        <translation>ONLINE-ZUGRIFF ERLAUBEN?</translation>
    </message>
    <message>
        <source>Plan limits only exist on the vendors&apos; servers. Vexlor would fetch them with the CLIs&apos; own credentials — a one-time Keychain prompt may appear. Everything else stays local.</source>
        <translation>Planlimits gibt es nur auf den Servern der Anbieter. Vexlor würde sie mit den eigenen Zugangsdaten der CLIs abrufen — eine einmalige Schlüsselbund-Abfrage kann erscheinen. Alles andere bleibt lokal.</translation>
    </message>
    <message>
        <source>Plan limits only exist on the vendors&apos; servers. Vexlor would fetch them with the CLIs&apos; own credentials — read from the Secret Service or from Claude Code&apos;s own credentials file. Everything else stays local.</source>
        <translation>Planlimits gibt es nur auf den Servern der Anbieter. Vexlor würde sie mit den eigenen Zugangsdaten der CLIs abrufen — gelesen aus dem Secret Service oder aus der Zugangsdatei von Claude Code. Alles andere bleibt lokal.</translation>
    </message>
    <message>
        <source>Not now</source>
        <translation>Jetzt nicht</translation>
    </message>
    <message>
        <source>Go online</source>
        <translation>Online gehen</translation>
    </message>
</context>
<context>
    <name>OpenCodeCollector</name>
    <message>
        <source>OpenCode database could not be opened</source>
        <translation>OpenCode-Datenbank konnte nicht geöffnet werden</translation>
    </message>
    <message>
        <source>OpenCode query failed: </source>
        <translation>OpenCode-Abfrage fehlgeschlagen: </translation>
    </message>
</context>
<context>
    <name>ProviderUsage</name>
    <message>
        <source>loading</source>
        <translation>lädt</translation>
    </message>
    <message>
        <source>no data</source>
        <translation>keine Daten</translation>
    </message>
    <message>
        <source>online off</source>
        <translation>online aus</translation>
    </message>
    <message>
        <source>not installed</source>
        <translation>nicht installiert</translation>
    </message>
</context>
<context>
    <name>QCommandLineParser</name>
    <message>
        <source>Usage: %1</source>
        <translation>Aufruf: %1</translation>
    </message>
    <message>
        <source>Options:</source>
        <translation>Optionen:</translation>
    </message>
    <message>
        <source>Displays help on commandline options.</source>
        <translation>Zeigt die Hilfe zu den Befehlszeilenoptionen.</translation>
    </message>
    <message>
        <source>Displays version information.</source>
        <translation>Zeigt die Versionsinformation.</translation>
    </message>
    <message>
        <source>Unknown option &apos;%1&apos;.</source>
        <translation>Unbekannte Option „%1“.</translation>
    </message>
    <message>
        <source>Unknown options: %1.</source>
        <translation>Unbekannte Optionen: %1.</translation>
    </message>
    <message>
        <source>Missing value after &apos;%1&apos;.</source>
        <translation>Fehlender Wert nach „%1“.</translation>
    </message>
    <message>
        <source>Unexpected value after &apos;%1&apos;.</source>
        <translation>Unerwarteter Wert nach „%1“.</translation>
    </message>
    <message>
        <source>[options]</source>
        <translation>[Optionen]</translation>
    </message>
    <message>
        <source>Displays help including Qt specific options.</source>
        <translation>Zeigt die Hilfe einschließlich der Qt-eigenen Optionen.</translation>
    </message>
</context>
<context>
    <name>ReportMapping</name>
    <message>
        <source>session %1</source>
        <translation>Sitzung %1</translation>
    </message>
</context>
<context>
    <name>SessionSheet</name>
    <message>
        <source>%1 more</source>
        <translation>%1 weitere</translation>
    </message>
    <message>
        <source>No open sessions right now.</source>
        <translation>Gerade keine offenen Sitzungen.</translation>
    </message>
    <message>
        <source>Later</source>
        <translation>Später</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Acknowledge</source>
        <translation>Gesehen</translation>
    </message>
</context>
<context>
    <name>SettingsCard</name>
    <message>
        <source>%1</source>
        <translation>%1</translation>
    </message>
    <message>
        <source>VEXLOR</source>
        <translation>VEXLOR</translation>
    </message>
    <message>
        <source>Quorvane</source>
        <translation>Quorvane</translation>
    </message>
    <message>
        <source>Online plan limits</source>
        <translation>Online-Planlimits</translation>
    </message>
    <message>
        <source>Fetch Claude/Codex limits with the CLIs&apos; own credentials. May show a one-time Keychain prompt. Off = fully local.</source>
        <translation>Claude-/Codex-Limits mit den eigenen Zugangsdaten der CLIs abrufen. Eine einmalige Schlüsselbund-Abfrage ist möglich. Aus = rein lokal.</translation>
    </message>
    <message>
        <source>Fetch Claude/Codex limits with the CLIs&apos; own credentials, from the Secret Service or Claude Code&apos;s own credentials file. Off = fully local.</source>
        <translation>Claude-/Codex-Limits mit den eigenen Zugangsdaten der CLIs abrufen, aus dem Secret Service oder der Zugangsdatei von Claude Code. Aus = rein lokal.</translation>
    </message>
    <message>
        <source>Key grid</source>
        <translation>Tastenraster</translation>
    </message>
    <message>
        <source>Columns</source>
        <translation>Spalten</translation>
    </message>
    <message>
        <source>Rows</source>
        <translation>Zeilen</translation>
    </message>
    <message>
        <source>Info bar</source>
        <translation>Infoleiste</translation>
    </message>
    <message>
        <source>Notify when an agent needs you</source>
        <translation>Melden, wenn ein Agent dich braucht</translation>
    </message>
    <message>
        <source>Launch at login</source>
        <translation>Beim Anmelden starten</translation>
    </message>
    <message>
        <source>Show Did You Know</source>
        <translation>Tipps anzeigen</translation>
    </message>
    <message>
        <source>Double-tap or long-press any key to choose what it displays</source>
        <translation>Tippe doppelt auf eine Taste oder halte sie gedrückt, um zu wählen, was sie zeigt</translation>
    </message>
    <message>
        <source>Quit Vexlor</source>
        <translation>Vexlor beenden</translation>
    </message>
    <message>
        <source>Fleet broker</source>
        <translation>Flotten-Broker</translation>
    </message>
    <message>
        <source>mqtts://user@broker/prefix</source>
        <translation>mqtts://user@broker/prefix</translation>
    </message>
    <message>
        <source>Shares this deck with your other machines from the next start. Empty: this machine alone.</source>
        <translation>Teilt dieses Deck ab dem nächsten Start mit deinen anderen Rechnern. Leer: nur dieser Rechner.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>A floating deck that shows what your AI coding agents are doing.</source>
        <translation>Ein schwebendes Deck, das zeigt, was deine KI-Coding-Agenten gerade tun.</translation>
    </message>
    <message>
        <source>Run on a built-in demonstration home instead of your own data.</source>
        <translation>Mit einem eingebauten Vorführ-Home statt deiner eigenen Daten laufen.</translation>
    </message>
    <message>
        <source>Render the deck to a PNG file and exit.</source>
        <translation>Das Deck in eine PNG-Datei zeichnen und beenden.</translation>
    </message>
    <message>
        <source>Run without a deck: print every pass&apos;s snapshot as one JSON line on standard output; &quot;ack PROVIDER&quot; lines on standard input acknowledge. With --demo: on the demonstration home.</source>
        <translation>Ohne Deck laufen: den Schnappschuss jedes Durchgangs als eine JSON-Zeile auf die Standardausgabe schreiben; Zeilen „ack PROVIDER“ auf der Standardeingabe bestätigen. Mit --demo: auf dem Vorführ-Home.</translation>
    </message>
    <message>
        <source>With --screenshot: collector passes to wait for (default 1). With --headless: exit after this many snapshots (default: never).</source>
        <translation>Mit --screenshot: so viele Durchgänge abwarten (Standard 1). Mit --headless: nach so vielen Schnappschüssen beenden (Standard: nie).</translation>
    </message>
    <message>
        <source>With --headless: seconds between passes (default 3; fractions allowed).</source>
        <translation>Mit --headless: Sekunden zwischen den Durchgängen (Standard 3; Bruchteile erlaubt).</translation>
    </message>
    <message>
        <source>With --headless: print each pass as &quot;snapshot&quot; JSON (default), as a &quot;waybar&quot; custom-module object, or as a short &quot;line&quot; for tmux.</source>
        <translation>Mit --headless: jeden Durchgang als „snapshot“-JSON (Standard), als Objekt für ein „waybar“-Custom-Modul oder als kurze „line“ für tmux ausgeben.</translation>
    </message>
    <message>
        <source>Set the deck&apos;s key columns (2 to 6).</source>
        <translation>Die Tastenspalten des Decks festlegen (2 bis 6).</translation>
    </message>
    <message>
        <source>Set the deck&apos;s key rows (1 to 4).</source>
        <translation>Die Tastenzeilen des Decks festlegen (1 bis 4).</translation>
    </message>
    <message>
        <source>With --screenshot: open a card first (settings, tips, agents, online, or sheet:AGENT such as sheet:claude).</source>
        <translation>Mit --screenshot: zuerst eine Karte öffnen (settings, tips, agents, online oder sheet:AGENT wie sheet:claude).</translation>
    </message>
    <message>
        <source>unexpected argument: %1</source>
        <translation>unerwartetes Argument: %1</translation>
    </message>
    <message>
        <source>--interval needs a number of seconds from 0.01 to 86400</source>
        <translation>--interval braucht eine Sekundenzahl von 0.01 bis 86400</translation>
    </message>
    <message>
        <source>--headless cannot be combined with --screenshot</source>
        <translation>--headless lässt sich nicht mit --screenshot verbinden</translation>
    </message>
    <message>
        <source>--passes only works with --screenshot or --headless</source>
        <translation>--passes wirkt nur mit --screenshot oder --headless</translation>
    </message>
    <message>
        <source>--format needs snapshot, waybar or line</source>
        <translation>--format braucht snapshot, waybar oder line</translation>
    </message>
    <message>
        <source>--format only works with --headless</source>
        <translation>--format wirkt nur mit --headless</translation>
    </message>
    <message>
        <source>--overlay only works with --screenshot</source>
        <translation>--overlay wirkt nur mit --screenshot</translation>
    </message>
    <message>
        <source>--passes needs a whole number above 0</source>
        <translation>--passes braucht eine ganze Zahl über 0</translation>
    </message>
    <message>
        <source>--columns needs a number from 2 to 6</source>
        <translation>--columns braucht eine Zahl von 2 bis 6</translation>
    </message>
    <message>
        <source>--rows needs a number from 1 to 4</source>
        <translation>--rows braucht eine Zahl von 1 bis 4</translation>
    </message>
    <message>
        <source>--overlay needs settings, tips, agents, online or sheet:AGENT</source>
        <translation>--overlay braucht settings, tips, agents, online oder sheet:AGENT</translation>
    </message>
    <message>
        <source>Join a fleet of decks through an MQTT broker: mqtts://[user@]host[:port]/prefix (default: the preference FleetBroker, else $VEXLOR_BROKER).</source>
        <translation>Über einen MQTT-Broker einer Flotte von Decks beitreten: mqtts://[user@]host[:port]/prefix (Standard: die Einstellung FleetBroker, sonst $VEXLOR_BROKER).</translation>
    </message>
    <message>
        <source>This machine&apos;s name in the fleet (default: the preference FleetHostName, else the short host name).</source>
        <translation>Der Name dieses Rechners in der Flotte (Standard: die Einstellung FleetHostName, sonst der kurze Rechnername).</translation>
    </message>
    <message>
        <source>ignoring input line (expected &quot;ack PROVIDER&quot; or, in a fleet, &quot;ack PROVIDER HOST&quot;, PROVIDER one of %1)</source>
        <translation>Eingabezeile übergangen (erwartet „ack PROVIDER“ oder, in einer Flotte, „ack PROVIDER HOST“; PROVIDER ist einer von %1)</translation>
    </message>
    <message>
        <source>could not write the screenshot to %1</source>
        <translation>konnte das Bildschirmfoto nicht nach %1 schreiben</translation>
    </message>
    <message>
        <source>could not write the demonstration home</source>
        <translation>konnte das Vorführ-Home nicht anlegen</translation>
    </message>
    <message>
        <source>a deck is already running; showing it</source>
        <translation>ein Deck läuft schon; es wird gezeigt</translation>
    </message>
    <message>
        <source>--columns and --rows were not applied to the running deck; change the grid in its settings, or quit it and start again</source>
        <translation>--columns und --rows wurden nicht auf das laufende Deck angewandt; ändere das Raster in seinen Einstellungen oder beende es und starte neu</translation>
    </message>
</context>
<context>
    <name>vexlor</name>
    <message>
        <source>%1 +%2</source>
        <translation>%1 +%2</translation>
    </message>
</context>
<context>
    <name>vexlor::Agent</name>
    <message>
        <source>WORKING</source>
        <translation>AKTIV</translation>
    </message>
    <message>
        <source>NEED YOU</source>
        <translation>BRAUCHT DICH</translation>
    </message>
    <message>
        <source>IDLE</source>
        <translation>RUHT</translation>
    </message>
    <message>
        <source>NOT FOUND</source>
        <translation>NICHT GEFUNDEN</translation>
    </message>
    <message numerus="yes">
        <source>%n active</source>
        <translation>
            <numerusform>%n aktiv</numerusform>
            <numerusform>%n aktiv</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n attention</source>
        <translation>
            <numerusform>%n wartet</numerusform>
            <numerusform>%n warten</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n open</source>
        <translation>
            <numerusform>%n offen</numerusform>
            <numerusform>%n offen</numerusform>
        </translation>
    </message>
    <message>
        <source>not installed</source>
        <translation>nicht installiert</translation>
    </message>
    <message>
        <source>waiting for you</source>
        <translation>wartet auf dich</translation>
    </message>
    <message>
        <source>live backend</source>
        <translation>Backend läuft</translation>
    </message>
</context>
<context>
    <name>vexlor::ProviderUsage</name>
    <message>
        <source>%1 used</source>
        <translation>%1 verbraucht</translation>
    </message>
    <message>
        <source>$%1 / %2</source>
        <translation>%1 $ / %2</translation>
    </message>
    <message>
        <source>%1 tokens</source>
        <translation>%1 Tokens</translation>
    </message>
</context>
<context>
    <name>vexlor::TrayMenu</name>
    <message>
        <source>Vexlor</source>
        <translation>Vexlor</translation>
    </message>
    <message>
        <source>Hide Deck</source>
        <translation>Deck ausblenden</translation>
    </message>
    <message>
        <source>Quit Vexlor</source>
        <translation>Vexlor beenden</translation>
    </message>
    <message>
        <source>Show Deck</source>
        <translation>Deck zeigen</translation>
    </message>
    <message>
        <source>Vexlor: an agent needs you</source>
        <translation>Vexlor: Ein Agent braucht dich</translation>
    </message>
</context>
<context>
    <name>vexlor::keytext</name>
    <message>
        <source>↺ now</source>
        <translation>↺ jetzt</translation>
    </message>
    <message>
        <source>↺ %1d</source>
        <translation>↺ %1 T</translation>
    </message>
    <message>
        <source>↺ %1d %2h</source>
        <translation>↺ %1 T %2 h</translation>
    </message>
    <message>
        <source>↺ %1h</source>
        <translation>↺ %1 h</translation>
    </message>
    <message>
        <source>↺ %1h %2m</source>
        <translation>↺ %1 h %2 min</translation>
    </message>
    <message>
        <source>↺ %1m</source>
        <translation>↺ %1 min</translation>
    </message>
    <message>
        <source>%1 left</source>
        <translation>%1 übrig</translation>
    </message>
    <message>
        <source>No agents found in %1. Run vexlor --demo to see what Vexlor shows.</source>
        <translation>Keine Agenten in %1 gefunden. Starte vexlor --demo, um zu sehen, was Vexlor zeigt.</translation>
    </message>
    <message>
        <source>not installed</source>
        <translation>nicht installiert</translation>
    </message>
    <message>
        <source>no recent model</source>
        <translation>kein aktuelles Modell</translation>
    </message>
    <message>
        <source>%1 NEEDS YOU</source>
        <translation>%1 BRAUCHT DICH</translation>
    </message>
    <message>
        <source>%1 %2</source>
        <translation>%1 %2</translation>
    </message>
    <message>
        <source>working %1</source>
        <translation>aktiv %1</translation>
    </message>
    <message>
        <source>waiting %1</source>
        <translation>wartet %1</translation>
    </message>
    <message>
        <source>idle %1</source>
        <translation>ruht %1</translation>
    </message>
    <message>
        <source>Double-tap the frame to tuck the deck to the nearest screen edge. Click the visible strip to bring it back.</source>
        <translation>Doppelklicke auf den Rahmen, um das Deck an den nächsten Bildschirmrand zu schieben. Ein Klick auf den sichtbaren Streifen holt es zurück.</translation>
    </message>
    <message>
        <source>Long-press any key to choose what that button displays.</source>
        <translation>Halte eine Taste gedrückt, um zu wählen, was sie zeigt.</translation>
    </message>
    <message>
        <source>Tap an agent status key to see the open sessions behind its count.</source>
        <translation>Tippe auf die Statustaste eines Agenten, um die offenen Sitzungen hinter ihrer Zahl zu sehen.</translation>
    </message>
    <message>
        <source>Tap ALL AGENTS for a compact overview of every provider Vexlor can see.</source>
        <translation>Tippe auf ALLE AGENTEN für eine kompakte Übersicht aller Anbieter, die Vexlor sieht.</translation>
    </message>
    <message>
        <source>Tap the info key or the info-bar arrows to cycle through status and usage pages.</source>
        <translation>Tippe auf die Infotaste oder die Pfeile der Infoleiste, um durch Status- und Nutzungsseiten zu blättern.</translation>
    </message>
    <message>
        <source>Online plan limits stay off until you enable them in Settings.</source>
        <translation>Online-Planlimits bleiben aus, bis du sie in den Einstellungen einschaltest.</translation>
    </message>
    <message>
        <source>seen %1 s ago</source>
        <translation>vor %1 s gesehen</translation>
    </message>
    <message>
        <source>seen %1 min ago</source>
        <translation>vor %1 min gesehen</translation>
    </message>
    <message>
        <source>seen %1 h ago</source>
        <translation>vor %1 h gesehen</translation>
    </message>
    <message>
        <source>seen %1 d ago</source>
        <translation>vor %1 T gesehen</translation>
    </message>
    <message>
        <source>OFFLINE</source>
        <translation>OFFLINE</translation>
    </message>
    <message>
        <source>%1 HOSTS</source>
        <translation>%1 RECHNER</translation>
    </message>
</context>
<context>
    <name>vexlor::statusbar</name>
    <message>
        <source>%1 working</source>
        <translation>%1 aktiv</translation>
    </message>
    <message>
        <source>idle</source>
        <translation>ruht</translation>
    </message>
    <message>
        <source>no agents</source>
        <translation>keine Agenten</translation>
    </message>
</context>
</TS>
