#pragma once

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The journal for other programs, and the caller of a journal record as the journal shows it.

// The caller of a record: the name its key resolves to when that is longer than 2 characters,
// else the stored key ("Analog" for a key shorter than 2 characters, as every look-up gives).
QString JournalCallerText(const ResolvedCaller &resolved, const QString &key);

// The calls as CSV (RFC 4180: fields separated by commas, lines ended by CR LF, a field with a
// comma, quote or line break in double quotes with its quotes doubled), in UTF-8 without byte
// order mark. A header line "Datum,Uhrzeit,MSN,Rufnummer,Name", then one line per call in the
// order given: the local date and time of the call in ISO 8601 (2024-01-02, 07:05:59), the MSN,
// the stored key and the caller's name (empty when the directory knows none). A field that begins
// with =, +, -, @, a tab or a CR gets an apostrophe in front, so that a spreadsheet does not run it
// as a formula; a number of a "+" and digits alone ("+4930123456") is no formula and stays.
QByteArray JournalCsv(const QList<JournalRecord> &calls, const CallerResolver &callers);

// The whole journal file as CSV, names as the directory knows them now. A missing journal is an
// empty one (and is not created). Throws IoError when the journal cannot be read.
QByteArray ExportJournalCsv(const CallJournal &journal, const CallerDirectory &callers);
