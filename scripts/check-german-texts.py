#!/usr/bin/env python3
"""Finds German text in the program's sources that does not go through Qt's translation machinery.

Every string literal of src/ (C++ sources and headers; the .ui forms are translated by uic) that
looks German (an umlaut or ß, or a German word of the list below) must stand inside tr(),
QCoreApplication::translate(), QT_TRANSLATE_NOOP() or QT_TR_NOOP(). Texts that go onto the wire
or into files, setting keys and file names stay German in every language: they are listed in
scripts/german-texts-allowed.txt as "path<TAB>text" (the text as written between the quotes).

usage: check-german-texts.py [source root]   (exit status 1 and one line per finding)
"""
import pathlib
import re
import sys

# Calls whose string arguments are translated (the context of translate() among them).
TRANSLATING = {"tr", "translate", "QT_TRANSLATE_NOOP", "QT_TR_NOOP", "QT_TRANSLATE_NOOP3"}

GERMAN_LETTERS = re.compile("[äöüÄÖÜß]")
GERMAN_WORDS = re.compile(
    r"\b(?:und|oder|nicht|kein|keine|keinen|ist|sind|wird|wurde|werden|kann|konnte|bitte|"
    r"der|die|das|den|dem|des|ein|eine|einen|einer|mit|von|bei|zum|zur|auf|aus|noch|nur|"
    r"Anruf|Anrufe|Anrufer|Anrufs|Fehler|Datei|Dateien|Ordner|Verbindung|Eintrag|Suche|"
    r"Sperren|Bearbeiten|Abbrechen|Speichern|Ja|Nein|Hinweis|Mitteilung|Nummer|Rufnummer|"
    r"Unbekannt|unbekannt|Dienst|Programm|Fenster|gesperrt|Sperre|neu|Neu|Alle|alle|Zeit|"
    r"Datum|Name|Ort|Ende|Bereit|aktiv|Aktiv|Einstellungen|Verzeichnis|Sekunden|Minuten|"
    r"Übertragung|Verbindungen|Empfang|Senden|gesendet|empfangen|abgebrochen|beendet|zu|abgelehnt|"
    r"Warte|Bitte|Befehl|Zeile|Suchen|Optionen|Hinweise|Konfiguration|Servermodus|Gruppe)\b")


def literals(text):
    """Yields (line, literal text, name of the innermost call) for every string literal."""
    i, line, n = 0, 1, len(text)
    calls = []  # the name before each open parenthesis
    last_word = ""
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
        elif text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += text.count("\n", i, end)
            i = end
        elif c == "#" and text[:i].rstrip(" \t").endswith(("\n", "")) and \
                re.match(r"#\s*include", text[i:]):
            i = text.find("\n", i)
            i = n if i < 0 else i
        elif c == "'":
            j = i + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
        elif c == '"':
            raw = re.search(r"R$", text[max(0, i - 3):i]) is not None
            if raw:
                m = re.match(r'"([^(]*)\(', text[i:])
                end = text.find(")" + m.group(1) + '"', i)
                body = text[i + len(m.group(0)):end]
                start_line = line
                line += body.count("\n")
                i = end + len(m.group(1)) + 2
            else:
                j = i + 1
                while j < n and text[j] != '"':
                    j += 2 if text[j] == "\\" else 1
                body = text[i + 1:j]
                start_line = line
                i = j + 1
            yield start_line, body, calls[-1] if calls else ""
            last_word = ""
        elif c == "(":
            calls.append(last_word)
            last_word = ""
            i += 1
        elif c == ")":
            if calls:
                calls.pop()
            last_word = ""
            i += 1
        elif c.isalpha() or c == "_":
            m = re.match(r"[A-Za-z_][A-Za-z_0-9]*", text[i:])
            last_word = m.group(0)
            i += len(last_word)
        else:
            if not c.isspace() and c != ":":
                last_word = ""
            i += 1


# printf conversions ("%zu", "%s"): their letters are no words.
PRINTF_CONVERSION = re.compile(r"%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z|j|t|L)?[diouxXeEfgGcspn]")


def looks_german(body):
    body = PRINTF_CONVERSION.sub(" ", body)
    return GERMAN_LETTERS.search(body) or GERMAN_WORDS.search(body)


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    allowed = set()
    for entry in (root / "scripts" / "german-texts-allowed.txt").read_text(encoding="utf-8").splitlines():
        if entry and not entry.startswith("#"):
            path, _, body = entry.partition("\t")
            allowed.add((path, body))
    findings = []
    used = set()
    for path in sorted((root / "src").rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        rel = path.relative_to(root).as_posix()
        for line, body, call in literals(path.read_text(encoding="utf-8")):
            if call in TRANSLATING or not looks_german(body):
                continue
            if (rel, body) in allowed:
                used.add((rel, body))
                continue
            findings.append(f"{rel}:{line}: German text outside tr(): \"{body}\"")
    for path, body in sorted(allowed - used):
        findings.append(f"scripts/german-texts-allowed.txt: no longer in {path}: \"{body}\"")
    for finding in findings:
        print(finding)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
