#pragma once

#include "common/Errors.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

// One call of the journal. On disk a record is 40 bytes, little-endian, without header:
//   0  8  CallTime  IEEE double: local time as days since 30 December 1899, 00:00, the time of
//                   day as the fraction
//   8 21  CallerKey one length byte (0..20), 20 bytes of Windows-1252 text, the rest zero
//  29 11  Msn       one length byte (0..10), 10 bytes of text, the rest zero
struct JournalRecord
{
    static constexpr int kSize = 40;
    static constexpr int kOldSize = 32; // the older form without Msn
    static constexpr int kMaxKey = 20;
    static constexpr int kMaxMsn = 10;

    double CallTime = 0;
    QString CallerKey; // the directory key the caller matched, or the number; at most 20 characters
    QString Msn;       // the called MSN; at most 10 characters

    // CallTime as a local date and time (invalid for a damaged record whose time is no number
    // or beyond every date), and the other way round.
    QDateTime callDateTime() const;
    // The day of callDateTime(), without the cost of a local date and time.
    QDate callDate() const;
    static double toCallTime(const QDateTime &when);

    // The 40 bytes of the record (longer texts cut to 20 and 10 characters).
    QByteArray toBytes() const;
    // Reads 40 bytes (kSize), or the 32 of the older form (Msn empty).
    static JournalRecord fromBytes(const char *bytes, int size = kSize);

    bool operator==(const JournalRecord &) const = default;
};

// The call journal "anruf2.dat": records appended at the end, oldest first. The number of
// records is the file size divided by 40; bytes at the end that do not fill a record are not
// read (and the next append writes over them).
//
// Each operation opens and closes the file. Errors raise IoError with a message that names
// the file; records written before an error stay.
//
// Threads: the synchronous operations are for one thread at a time (the main thread).
// QueueCall is for the ring handler: the record is stamped at once and written by a worker
// thread; several queued records go to the disk in one write. ReadCalls includes queued
// records, so nothing queued is ever missing from what the journal window shows.
class CallJournal
{
public:
    // How ConvertJournal ended.
    enum class Conversion
    {
        AlreadyDone,      // ISDN_Update20 was set: nothing looked at
        NoJournal,        // no anruf2.dat: nothing to convert
        Converted,        // 32-byte records became 40-byte records; the original is anruf2.dat.bak
        AlreadyConverted, // the records are already 40 bytes: the file is left as it is
        Undecided,        // most records fit neither form: the file is left as it is, ISDN_Update20 clear
    };

    // Which record form a journal's bytes hold, judged from the records themselves (the file
    // carries no mark of it): a plausible call time and length bytes in range in most records.
    enum class Form
    {
        Old,       // 32-byte records
        New,       // 40-byte records
        Undecided, // most records fit neither
    };

    // `folder` holds anruf2.dat and updtemp.dat; the default is the data folder.
    explicit CallJournal(const QString &folder = QString());
    // Writes what is still queued (errors are logged: there is no one left to tell).
    ~CallJournal();
    CallJournal(const CallJournal &) = delete;
    CallJournal &operator=(const CallJournal &) = delete;

    QString path() const;        // .../anruf2.dat
    QString scratchPath() const; // .../updtemp.dat
    QString backupPath() const;  // .../anruf2.dat.bak

    // Appends one record stamped with Clock::now(); creates the file when it is missing.
    void AppendCall(const QString &callerKey, const QString &msn);
    // Every record in file order, queued ones last. A missing file is created empty.
    QList<JournalRecord> ReadCalls() const;
    // The whole records of a journal's bytes, as ReadCalls reads the file.
    static QList<JournalRecord> RecordsOf(QByteArrayView data);
    // The form ConvertJournal sees in a journal's bytes.
    static Form FormOf(QByteArrayView data);
    // Leaves the file empty (and drops queued records: they were shown as part of the journal).
    void ClearJournal();

    // AppendCall without waiting for the disk: stamped now, written by the worker thread.
    // Save errors go to the write error handler; the records stay queued and are retried.
    void QueueCall(const QString &callerKey, const QString &msn);
    // The same, stamped with `when` (the ring handler stamps the moment the call rang).
    void QueueCall(const QString &callerKey, const QString &msn, const QDateTime &when);
    // Waits until everything queued is in the file; throws IoError when it cannot be written.
    void Flush();
    bool HasPending() const;
    // Called on the worker thread when a queued save fails. Without a handler it is logged.
    void SetWriteErrorHandler(std::function<void(const IoError &)> handler);

    // Once per installation, at program start: converts a journal of the older 32-byte records
    // to 40-byte records that carry the first MSN of the setting ISDN_MSN (its text up to the
    // first ","; empty without ","), then sets ISDN_Update20. The original is kept as
    // anruf2.dat.bak and replaced atomically; a journal that is already in the 40-byte form
    // is recognised from its records and left alone. Most records decide the form; when they
    // do not, nothing is converted and ISDN_Update20 stays clear. `progress(done, total)` is called with
    // (0, total) when converting starts and then from time to time; it may process events.
    // On an error ISDN_Update20 stays unset and anruf2.dat as it was.
    Conversion ConvertJournal(const std::function<void(qint64 done, qint64 total)> &progress = {});
    // After ConvertJournal left the journal Undecided: the text that tells the user so, naming the
    // file, the first time for this file; empty when the user has been told about it before. The
    // file is remembered in the settings by its identity (JournalUndecidedTold), so calls added to
    // it meanwhile are no news, while another file put in its place is. Throws IoError when the
    // setting cannot be written.
    QString UndecidedNotice() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
