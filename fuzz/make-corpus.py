#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target (corpus/<target>/): files shaped as real programs
and peers write them, for the fuzzers to start from. Run it again after changing a target's input
layout (naming targets writes only theirs: the others hold merged corpora); the files it writes
are kept in the repository."""

import os
import shutil
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def fdp_string(data: bytes) -> bytes:
    """A string as FuzzedDataProvider::ConsumeRandomLengthString reads it: backslashes doubled, a
    backslash and one more byte end it."""
    return data.replace(b"\\", b"\\\\") + b"\\\x01"


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


# ---- caller directory: the file, then a key and a value to write (and the choices at the end)

def directory():
    files = {
        "windows": b"; Rufwart\r\n[Anrufer]\r\n0301234567=F#Meier\r\n030*=T#Berlin\r\n"
                   b"0401111=F#M\x81ller\r\n04022=Schmidt\r\n[Andere]\r\nx=1\r\n",
        "unix": b"[anrufer]\n  0891 = \"F#  Huber  \"\n0891=F#Doppelt\n;0892=F#Kommentar\n\n05*=F#\n",
        "two-sections": b"[Anrufer]\r\n07=F#A\r\n[Anrufer]\r\n08=F#B\r\n",
        "no-section": b"[Andere]\r\na=b",
        "lone-cr": b"[Anrufer]\r030=F#X\r031='T#Y'\r",
    }
    seeds = {}
    for name, text in files.items():
        seeds[name] = fdp_string(text) + fdp_string(b"0301234567") + fdp_string(b"0302") + \
            fdp_string(b"030") + fdp_string(b"4711") + fdp_string(b"0301111") + \
            fdp_string(b"F#Neu \x8e") + b"\x01\x00"
    write("caller_directory", seeds)


# ---- call journal: records of both forms

def days(y, mo, d, h=12, mi=0):
    import datetime
    return (datetime.datetime(y, mo, d, h, mi) - datetime.datetime(1899, 12, 30)).total_seconds() / 86400


def record(t, key, msn=b"", size=40):
    r = struct.pack("<d", t) + bytes([len(key)]) + key.ljust(20, b"\0") + bytes([len(msn)]) + msn.ljust(10, b"\0")
    return r[:size]


def journal():
    new = record(days(2024, 1, 2), b"0301234567", b"4711") + record(days(1999, 12, 31, 23, 59), b"030*", b"4712") + \
        record(days(2024, 3, 31, 2, 30), b"Analog", b"")
    old = record(days(1998, 5, 6), b"0401234", size=32) * 3
    seeds = {
        "new": new,
        "old": old,
        "cut": new + b"xxxxx",
        "damaged": record(float("nan"), b"1") + record(1e300, b"\xff" * 20, b"\xff" * 10) + b"\xff" * 40,
    }
    write("call_journal", seeds)


# ---- settings: the file, up to three names to read, an autostart entry, a write

def settings():
    files = {
        "written": b"[General]\r\nISDN_Msn=\"4711,4712,,,,,,\"\r\nISDN_Update20=1\r\nISDN_Service=65535\r\n"
                   b"ISDN_CapiRemote=127.0.0.1:5031\r\n",
        "by-hand": b"isdn_msn = 4711, 4712\nISDN_WRITELOG=true\n; comment\n[Other]\nISDN_Msn=9\n",
        "variants": b"[General]\nISDN_Show=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\bQVariant)\nISDN_Msn=@ByteArray(abc)\n"
                    b"ISDN_DInfoDir=@Invalid()\nISDN_CallMsg_Left=\"-12\"\n",
    }
    entry = b"[Desktop Entry]\nType=Application\nName=Rufwart\nExec=\"/usr/bin/rufwart\\\\ 32\" %%u\n" \
            b"X-GNOME-Autostart-enabled=true\n"
    seeds = {}
    for name, text in files.items():
        seeds[name] = fdp_string(text) + fdp_string(b"ISDN_Service") + fdp_string(b"ISDN_WriteLog") + \
            fdp_string(entry) + b"ISDN_Msn=,1" + b"\x00\x01\x02"
    # A stored string list whose count asks for 32 GB: an allocation that cannot be met, which Qt
    # gives up (found by fuzzing; the fuzzer's sanitizer options must let it).
    seeds["huge-list-claim"] = b'[G]\nISDow=@Variant(\\\\0\\\\0\\\\0\\\\xbQVariant)\xff\xb6SDN_Arlid()\nI'
    # A name with a slash read the value of the name without it, which a write then changed
    # (found by fuzzing): one name read, "ISDN_Service" written.
    seeds["slash-name"] = fdp_string(b"[General]\nISDN_Service=1\n") + fdp_string(b"/ISDN_Service") + \
        fdp_string(b"") + fdp_string(b"ISDN_Service") + b"2" + b"\x00\x00\x01"
    write("settings", seeds)


# ---- D-Info answer file: the file itself; the fields for the stand-in's line follow from it

def dinfo():
    seeds = {
        "found": b"R;0301234567\r\nNA: Meier;VN: Hans;ZUS: Dr.;STR: Hauptstr. 1, 10115 Berlin\r\n",
        "nothing": b"R;0301234567\r\n",
        "oem": "R;040\r\nNA: M\u00fcller-L\u00fcdenscheidt;VN: J\u00fcrgen;ZUS: ;STR: Stra\u00dfe\r\n".encode("cp850"),
        "no-vn": b"R;1\nNA: Firma Schulze GmbH;ZUS: Filiale;STR: Weg\n",
        "fields": fdp_string(b"Meier") + fdp_string(b"Hans") + fdp_string(b"Dr.") + fdp_string(b"Hauptstr. 1") +
        fdp_string(b"R;0301234567"),
    }
    write("dinfo_answer", seeds)


# ---- vCard and CSV address books

def contacts():
    vcards = {
        "v30": b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Meier-L\xc3\xbcdenscheidt;Hans-Georg;;Dr.;\r\n"
               b"FN:Dr. Hans-Georg Meier\r\nORG:Elbwerk GmbH\\, Hamburg;Vertrieb\r\n"
               b"ADR;TYPE=work:;;Hafenstra\xc3\x9fe 1\\nHaus B;Hamburg;;20457;Deutschland\r\n"
               b"item1.TEL;TYPE=work,voice:+49 40 123\r\n 45 67\r\nTEL;TYPE=cell:0171 2345678\r\n"
               b"PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD\r\n /2wBDAAMCAgMCAgMDAwMEAw\r\n"
               b"END:VCARD\r\n",
        "v21": b"BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\r\n"
               b"FN;CHARSET=UTF-8;QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\r\nller\r\nORG:B\xe4ckerei Sch\xf6n\r\n"
               b"TEL;WORK;VOICE:(030) 123 45 67\r\nAGENT:BEGIN:VCARD\r\nN:Sekretariat;Erika\r\nTEL:030 5555555\r\n"
               b"END:VCARD\r\nEND:VCARD\r\n",
        "v40": "BEGIN:VCARD\nVERSION:4.0\nFN:Zo\u00eb \u015eahin\nN:\u015eahin;Zo\u00eb;;;\n"
               "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+49-30-1234567;ext=89\n"
               "ADR;LABEL=\"Kastanienallee 5\\n10435 Berlin\":;;Kastanienallee 5;Berlin;;10435;\n"
               "END:VCARD\n".encode("utf-8"),
        "charsets": b"BEGIN:VCARD\nVERSION:2.1\nN;CHARSET=KOI8-R:\xf0\xd5\xdb\xcb\xc9\xce\nTEL;CHARSET=IBM850:0\x81\n"
                    b"FN;CHARSET=WINDOWS-1252;ENCODING=QUOTED-PRINTABLE:=E4=\n=F6\nEND:VCARD\n",
    }
    write("vcard", vcards)
    sheets = {
        "sheet": b"Name;Vorname;Firma;Stra\xdfe;PLZ;Ort;Telefon;Handy\r\nGr\xfcn;Anna;;Lindenweg 3;14467;Potsdam;"
                 b"0331/12 34 56;\r\n;;;;;;;\r\nWei\xdf;Otto;\"Wei\xdf & S\xf6hne; Dachdecker\";;;;;0160-1112223\r\n",
        "google": b"Name,Given Name,Family Name,Notes,Organization 1 - Name,Organization 1 - Title,Phone 1 - Type,"
                  b"Phone 1 - Value,Phone 2 - Type,Phone 2 - Value\nKarl Kurz,Karl,Kurz,\"Zeile 1\nZeile 2, mit Komma\","
                  b"Kurz KG,Chef,Mobile,+49 170 1234567 ::: +49 30 7654321,Work,030 111\n",
        "thunderbird": "First Name\tLast Name\tDisplay Name\tWork Phone\tMobile Number\tFax Number\tCity\n"
                       "Eva\tErste\tEva Erste\t030 1\t0171 2\t\tBerlin\n".encode("utf-16"),
        "outlook-utf8": b"\xef\xbb\xbf\"Vorname\",\"Nachname\",\"Telefon gesch\xc3\xa4ftlich\",\"Mobiltelefon\"\r\n"
                        b"\"J\xc3\xbcrgen\",\"M\xc3\xbcller\",\"+49 (30) 123\",\"\"\"quoted\"\"\"\r\n",
    }
    write("csv", sheets)


# ---- the virtual exchange: chunks of [head][length][bytes] to four connections

def le16(v):
    return struct.pack("<H", v)


def le32(v):
    return struct.pack("<I", v)


def message(command, sub, number, params):
    return le16(8 + len(params)) + le16(0) + bytes([command, sub]) + le16(number) + params


def frame(msg):
    return b"\x80" + le16(len(msg)) + msg


def chunk(conn, data):
    return bytes([conn]) + le16(len(data)) + data


def hang_up(conn):
    return bytes([4 | conn])


REGISTER = frame(bytes([0x14, 0x00, 0x00, 0x00, 0x20, 0x80, 0x01, 0x00, 0x02, 0x00,
                        0x09, 0x00, 0x00, 0x06, 2, 0, 7, 0, 0x00, 0x08]))
LISTEN_ALL = frame(message(0x05, 0x80, 1, le32(1) + le32(0) + le32(1) + le32(0) + b"\0\0"))
ADDITIONAL = b"\x06\x02\x00\x00\x00\x00\x00"
B_PROTOCOL = b"\x09" + le16(0) + le16(0) + le16(0) + b"\0\0\0"
PLCI = 0x101
NCCI = 0x10101


def sim_frames():
    called = b"\x05\x80" + b"4711"
    calling = b"\x0c\x00\x80" + b"0301234567"
    connect_req = message(0x02, 0x80, 2, le32(1) + le16(2) + called + calling + b"\0\0" + B_PROTOCOL +
                          b"\0\0\0" + ADDITIONAL)
    answer = message(0x02, 0x83, 1, le32(PLCI + 0x100) + le16(0) + B_PROTOCOL + b"\0\0\0" + ADDITIONAL)
    data = b"\xff\x01name.txt"
    data_req = message(0x86, 0x80, 4, le32(NCCI) + le32(0) + le16(len(data)) + le16(1) + le16(0)) + data
    seeds = {
        # One application dials the other, the other answers, a B3 link carries a block, both end.
        "dial-answer-data": chunk(0, REGISTER + LISTEN_ALL) + chunk(1, REGISTER + LISTEN_ALL) +
        chunk(0, frame(connect_req)) + chunk(1, frame(answer)) +
        chunk(0, frame(message(0x82, 0x80, 3, le32(PLCI) + b"\0"))) +
        chunk(1, frame(message(0x82, 0x83, 2, le32(NCCI + 0x100) + le16(0) + b"\0"))) +
        chunk(0, frame(data_req)) + chunk(1, frame(message(0x86, 0x83, 1, le32(NCCI + 0x100) + le16(1)))) +
        chunk(0, frame(message(0x84, 0x80, 5, le32(NCCI) + b"\0"))) +
        chunk(1, frame(message(0x04, 0x80, 3, le32(PLCI + 0x100) + ADDITIONAL))) + hang_up(0),
        # A caller on the control interface; the application alerts, accepts and goes away.
        "control-call": chunk(0, REGISTER + LISTEN_ALL) +
        chunk(2, b"CALL from=0301234567 to=4711 cip=data64\n") +
        chunk(0, frame(message(0x01, 0x80, 2, le32(PLCI) + ADDITIONAL))) +
        chunk(0, frame(message(0x02, 0x83, 1, le32(PLCI) + le16(0) + B_PROTOCOL + b"\0\0\0" + ADDITIONAL))) +
        chunk(0, frame(message(0x82, 0x80, 3, le32(PLCI) + b"\0"))) +
        chunk(0, frame(data_req)) + chunk(2, b"STATUS\nHANGUP\n") + hang_up(0),
        # Frames split across reads, malformed ones, the rcapi questions, a release.
        "split-malformed": chunk(0, REGISTER[:5]) + chunk(0, REGISTER[5:] + LISTEN_ALL[:9]) +
        chunk(0, LISTEN_ALL[9:] + frame(message(0x05, 0x80, 7, le32(1)))) +
        chunk(0, frame(message(0x86, 0x80, 8, le32(NCCI) + le32(0) + le16(100) + le16(42) + le16(0)) + b"\0" * 10)) +
        chunk(0, frame(message(0x20, 0x80, 9, b"\x02\x00\x03\x01\x00\x00"))) +
        chunk(1, b"\x00\x0e" + message(0xFA, 0xFF, 1, le32(1))) +
        chunk(3, frame(message(0x20, 0x80, 1, b"\x02\x00\x05\x02\x00\x02" + le16(1)))) +
        chunk(2, b"\x12\x00\x34"),
    }
    write("sim_frames", seeds)


def sim_control():
    seeds = {
        "commands": b"CALL from=0301234567 to=4711 cip=telephony hangup_after_ms=5000\r\nSTATUS\nEVENTS since=1\n"
                    b"HANGUP\nCALL from=- to= cip=3\nQUIT\n",
        "errors": b"call from=12a to=1\nCALL to=1 cip=fax9\nCALL to=1 hangup_after_ms=soon\nEVENTS since=x\nDANCE\n",
        "answers": b"OK call=1\nOFFERED appl=1 plci=0x101\nALERTED appl=1\nREJECTED appl=2 reject=3\n"
                   b"GONE appl=3\nCLEARED appl=4\nACCEPTED appl=1\nEND offered=4 result=connected reason=0x3490\n"
                   b"127.0.0.1:5031\n",
    }
    write("sim_control", seeds)


# ---- the CAPI component: messages, and the transfer protocol on an established link

def capi_message(command, sub, number, params):
    return struct.pack("<HHBBH", 8 + len(params), 1, command, sub, number) + params


def message_record(msg, data=b""):
    whole = msg + data
    return bytes([len(whole)]) + whole


def capi_messages():
    plci, ncci = 0x101, 0x10101
    calling = b"\x0c\x21\x81" + b"301234567" + b"\x00"
    called = b"\x05\x81" + b"4711"
    connect_ind = capi_message(0x02, 0x82, 1, le32(plci) + le16(16) + called + calling + b"\0\0" +
                               b"\x03\x80\x90\xa3\0\0" + b"\x07\x02\x00\x00\x00\x00\x00\x00")
    data_ind = capi_message(0x86, 0x82, 6, le32(ncci) + le32(0) + le16(5) + le16(1) + le16(0) + b"\0" * 8)
    seeds = {
        # A call rings and is accepted, a B3 link comes up, a block arrives, both ends go.
        "incoming-data": b"\x04\x01" + message_record(connect_ind) +
        message_record(capi_message(0x03, 0x82, 2, le32(plci) + b"\0\0\0")) +
        message_record(capi_message(0x82, 0x82, 3, le32(ncci) + b"\0")) +
        message_record(capi_message(0x83, 0x82, 4, le32(ncci) + b"\0")) +
        message_record(capi_message(0x08, 0x82, 5, le32(plci) + le16(0x28) + b"\x04abcd")) +
        message_record(data_ind, b"\xff\x1fhallo") +
        message_record(capi_message(0x84, 0x82, 7, le32(ncci) + le16(0) + b"\0")) +
        message_record(capi_message(0x04, 0x82, 8, le32(plci) + le16(0x3490))),
        # Left ringing, answered by the main thread; a second caller meanwhile.
        "alert-answer": b"\x03\x00" + message_record(connect_ind) + b"\xf2\x00" +
        message_record(capi_message(0x02, 0x82, 9, le32(0x201) + le16(1) + b"\0" * 9)) +
        message_record(capi_message(0x80, 0x82, 10, le32(1) + le16(3) + b"\0")) +
        message_record(capi_message(0xFF, 0x82, 11, le32(1) + le32(0x214d5641) + b"\0")),
        # This side dials, the link comes up by itself, data goes out, then the call ends.
        "dial-send": b"\x80\x04" + b"\xf1\x07" + message_record(capi_message(0x03, 0x82, 1, le32(0x201) + b"\0\0\0")) +
        b"\xf7\x10" + b"\xf4\x00" + b"\xf5\x00",
        # Confirmations nobody asked for, a lost connection and a new registration.
        "stray": b"\x01\x02" + message_record(capi_message(0x86, 0x81, 3, le32(ncci) + le16(1) + le16(0))) +
        message_record(capi_message(0x82, 0x81, 4, le32(ncci) + le16(0))) + b"\xf9\x00" + b"\xf8\x00" + b"\xfb\x01",
        # A dialled call, then the connection is lost as the input ends: the harness destroys the
        # component as soon as its message thread has taken the registration to release it.
        "lost-at-end": b"\x88\x05" + b"\xf1\x07" + message_record(capi_message(0x03, 0x82, 1, le32(0x201) + b"\0\0\0")) +
        b"\xf9\x00",
    }
    write("capi_messages", seeds)


def transfer_frame(code, payload=b""):
    return b"\xff" + bytes([code]) + payload


def block(frame):
    return bytes([len(frame)]) + frame


def capi_transfer():
    whole = block(transfer_frame(1, b"bericht.txt")) + block(transfer_frame(2, b"10")) + \
        block(transfer_frame(3, b"0123456789")) + block(transfer_frame(4))
    seeds = {
        "receive-whole": b"\x00" + whole + whole,
        "receive-bad": b"\x01" + block(transfer_frame(1, b"..\\C:\\.bashrc")) + block(transfer_frame(1, b"libx.so.3")) +
        block(transfer_frame(1, b"a/b/c.txt")) + block(transfer_frame(2, b"5")) + block(transfer_frame(3, b"0123456")) +
        block(transfer_frame(4)) + block(transfer_frame(2, b"x")) + block(transfer_frame(3, b"stray")) +
        block(transfer_frame(1, b"gross.bin")) + block(transfer_frame(2, b"999999")),
        "requests": b"\x00" + block(transfer_frame(0x1E)) + block(transfer_frame(0x14, b"liste.txt")) +
        block(transfer_frame(0x14, b"../etc/passwd")) + block(transfer_frame(0x1F, b"datei [1.1.24 12:00, Gr\xf6\xdfe : 3]")) +
        b"\xf0\x00\xf1\x00\xf1\x07" + block(transfer_frame(4)),
        "link-drop": b"\x00" + block(transfer_frame(1, b"halb.txt")) + block(transfer_frame(2, b"20")) +
        block(transfer_frame(3, b"0123456789")) + b"\xf4\x00\xf5\x00" + whole + b"\xf2\x01\xf6\x00",
    }
    write("capi_transfer", seeds)


class Provider:
    """Input for a FuzzedDataProvider: strings are read from the front, numbers and flags from the
    back (the first one read is the last byte)."""

    def __init__(self):
        self.front = b""
        self.back = []

    def string(self, data: bytes):
        self.front += fdp_string(data)
        return self

    def byte(self, value: int):
        self.back.append(bytes([value]))
        return self

    def u64(self, value: int):
        self.back.append(value.to_bytes(8, "little"))
        return self

    def bytes(self) -> bytes:
        return self.front + b"".join(reversed(self.back))


def digits(text: bytes) -> bytes:
    """A key as the import target maps bytes: the byte d gives the digit d, 200 gives "*"."""
    return bytes(200 if c == ord("*") else c - ord("0") for c in text)


def contact_import():
    def seed(rows, contacts, create_null):
        p = Provider().string(b"49").string(b"30").byte(create_null).byte(0).byte(len(rows))
        for key, name, blocked in rows:
            p.string(digits(key)).string(name).byte(blocked)
        p.byte(len(contacts))
        for surname, given, phones in contacts:
            p.string(surname).string(given).byte(0).byte(len(phones))
            for phone in phones:
                p.string(bytes(min(c - ord("0"), 9) if c != ord("+") else 10 for c in phone))
        return p.bytes()

    seeds = {
        "group-key": seed([(b"030*", b"F#Berlin", 0), (b"0301234", b"", 0), (b"040*", b"Hamburg", 1)],
                          [(b"Meier", b"Anna", [b"+49301234", b"0301111"]), (b"Kurz", b"", [b"+49401"])], 1),
        "foreign": seed([(b"0033*", b"Frankreich", 1)],
                        [(b"Dupont", b"Jean", [b"+33123456789", b"0033999"]), (b"", b"", [b"12"])], 1),
        "empty": seed([], [(b"Neu", b"", [b"030777"])], 0),
    }
    write("contact_import", seeds)


def journal_export():
    def seed(entries, records):
        p = Provider().byte(len(entries))
        for key, name, blocked in entries:
            p.string(key).string(name).byte(blocked)
        p.byte(len(records))
        for when, key, msn in records:
            p.u64(struct.unpack("<Q", struct.pack("<d", when))[0]).string(key).string(msn)
        return p.bytes()

    seeds = {
        "named": seed([(b"0301234", b"Meier, Anna", 0), (b"030*", b"=HYPERLINK(\"x\")", 1)],
                      [(45000.5, b"0301234", b"12345"), (45001.25, b"0309999", b"-1"), (float("nan"), b"+4930", b"@")]),
        "quotes": seed([(b"040", b"Kunz \"der Alte\", Hamburg\r\nZeile", 0)],
                       [(45100.0, b"040", b"\t7"), (-1e308, b"", b"")]),
    }
    write("journal_export", seeds)


def dde_lines():
    requests = Provider().string(b"ACK\n").string(b"DATA Meier, Anna\r\n").string(b"ADVISE Name\nACK\n") \
        .string(b"ACK\n").string(b"NACK Befehl abgelehnt\n").string(b"DATA\n").string(b"x" * 500).bytes()
    seeds = {
        "both": b"EXECUTE [Suche(\"030\")]\nREQUEST Name\r\nADVSTART Name\nADVSTOP Name\nCLOSE\nREQUEST x\n\xff"
                + requests,
        "server-only": b"EXECUTE abgelehnt\nREQUEST\nADVSTART xNein\nFOO bar\n\r\nREQUEST Teil",
        "long": b"REQUEST " + b"a" * 4200,
    }
    write("dde_lines", seeds)


# ---- MQTT: call events and commands as JSON, as the publisher writes them and worse

def mqtt_call():
    event = (b'{"blocked":false,"call":"c1","cip":16,"event":"%s","id":"m%d","msn":"4711",'
             b'"name":"M\u00fcller","node":"b\u00fcro","number":"0301234567","schema":1,'
             b'"service":"Telefonie","time":"2026-12-09T19:02:03+01:00"%s}')
    seeds = {}
    for n, kind in enumerate([b"ringing", b"alerted", b"accepted", b"rejected", b"ignored", b"named"]):
        seeds[kind.decode()] = event % (kind, n, b"")
    seeds["ended"] = event % (b"ended", 10, b',"cause":13456')
    seeds["missed"] = event % (b"missed", 11, b',"cause":13457')
    seeds["west"] = (event % (b"ringing", 12, b',"extra":[1,{"a":null}]')).replace(b"+01:00", b"-05:30")
    seeds["command"] = b'{"schema":1,"id":"x1","command":"block","number":"0301234567","from":"k\u00fcche"}'
    seeds["wrong-types"] = b'{"schema":1,"id":5,"call":[],"event":true,"node":{},"time":1.5,"cip":-3}'
    seeds["no-object"] = b'["schema",1]'
    write("mqtt_call", seeds)


if __name__ == "__main__":
    if len(sys.argv) > 1:  # only the targets named
        for name in sys.argv[1:]:
            globals()[name]()
        sys.exit(0)
    directory()
    journal()
    settings()
    dinfo()
    contacts()
    sim_frames()
    sim_control()
    capi_messages()
    capi_transfer()
    contact_import()
    journal_export()
    dde_lines()
    mqtt_call()
    sys.exit(0)
