#pragma once

#include "common/Errors.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The caller directory: the file "anruf.dat", an initialisation file whose section [Anrufer]
// holds one line per caller, "<key>=<value>".
//
// Key: the caller's number as digits (0301234567), or a group key that ends with "*" (030*):
// it matches every number that begins with the part before the "*". Value, stored in code page
// 850: "T#<name>" for a blocked caller, "F#<name>" for one that is not blocked; an older value
// without the "#" is the name alone and not blocked.
//
// Every operation sees the file as it is at that moment, so a change made by another window or
// process is seen at once. The last read is kept and used again while the file has not changed
// (same file, size and change times, and no change within the file system's time-stamp grain of
// that read: then its bytes are compared), so a look-up in a large directory does not read and
// parse the whole file each time. Files written on Windows keep
// working (CR LF, other sections, comments, blank lines, duplicate keys) and every line an
// operation does not change stays byte for byte as it was. Keys compare without regard to case
// (ASCII letters); a key keeps the spelling it was first written with.
//
// Writing: every change replaces the file atomically and synced to disk; a failing write
// throws IoError ("nach <path> kann nicht geschrieben werden") and leaves the old file whole.
// A key or value that would damage the file is refused with InvalidInput before anything is
// written (see CheckKey / CheckValue).
//
// Threads: the synchronous operations may be called from any one thread at a time (the main
// thread). QueueAddCaller hands the save to a worker thread: use it where the disk must not be
// waited for (the ring handler). Queued additions are visible to every read of this object at
// once, also before they reach the file; Flush() waits until they are written.
//
// Resolving many numbers (the journal window): BatchResolver() reads the file once and answers
// every number as ResolveCaller would have at that moment, without going through the keys one
// by one for each number.

// One row of the caller list.
struct CallerRecord
{
    QString Number;       // the key as stored, "*" of a group key included
    QString Name;         // the name from the value
    bool Blocked = false; // shown in the list as "X"

    bool operator==(const CallerRecord &) const = default;
};

// The result of ResolveCaller.
struct ResolvedCaller
{
    // The caller text: the found value with its flag and marker ("F#Meier"; split it with
    // CallerDirectory::SplitValue), the number when nothing matched or the entry has no name,
    // "Analog" for a number of fewer than 2 digits.
    QString Text;
    bool Found = false;
    // The key of the matched entry, as the journal and the record dialog use it: "030*" for a
    // group key, the key itself otherwise. Empty when nothing matched.
    QString MatchedKey;
    // True when the matched entry is blocked, also when its name is empty.
    bool Blocked = false;
    // The number that was looked up ("0" for an empty number). This is the key under which
    // AddCaller learns a caller that was not found.
    QString Number;
};

// The directory as one read saw it, for resolving many numbers. Made by
// CallerDirectory::BatchResolver(); answers each number exactly as ResolveCaller (all four
// steps) did at the moment of the read. Copies share the read; for one thread at a time.
class CallerResolver
{
public:
    CallerResolver(); // an empty directory
    ResolvedCaller Resolve(const QString &number) const;

private:
    friend class CallerDirectory;
    struct Private;
    std::shared_ptr<Private> d;
};

enum class CallerSortOrder
{
    ByName,   // name, then number
    ByNumber, // number, then name
};

class CallerDirectory
{
public:
    // The longest value (flag, marker and name) the file format allows.
    static constexpr int kMaxValueLength = 254;
    static constexpr const char *kSection = "Anrufer";

    // `path` is the full path of the file; it need not exist (it is created by the first
    // write). The default is anruf.dat in the data folder.
    explicit CallerDirectory(const QString &path = defaultPath());
    // Writes what is still queued (errors are logged: there is no one left to tell).
    ~CallerDirectory();
    CallerDirectory(const CallerDirectory &) = delete;
    CallerDirectory &operator=(const CallerDirectory &) = delete;

    // A directory that lives in memory, starting as the file bytes `bytes`: every operation reads
    // and replaces them as it would the file (for checks without a disk).
    static std::unique_ptr<CallerDirectory> InMemory(const QByteArray &bytes);
    // The bytes it holds now (those of the file for a directory in a file).
    QByteArray FileBytes() const;

    static QString defaultPath();
    QString path() const;

    // ---- reading (a missing or unreadable file is an empty directory) ----

    // The keys of [Anrufer] in file order, each once, with their stored spelling.
    QStringList ListKeys() const;
    // The decoded value of `key` (without regard to case), empty when absent.
    QString ReadValue(const QString &key) const;
    // Looks `number` up: the first entry in file order whose prefix (at least 2 characters)
    // begins the number.
    ResolvedCaller ResolveCaller(const QString &number) const;
    // The first three steps of ResolveCaller (no fallback to the number or "Analog"), for the
    // ring handler that asks D-Info in between; finish with FinishCallerText.
    ResolvedCaller MatchCaller(const QString &number) const;
    static QString FinishCallerText(const QString &text, const QString &number);
    // One read of the directory for resolving many numbers (see CallerResolver).
    CallerResolver BatchResolver() const;
    // The caller of `key` as the record dialog starts from it: the name and flag of the key's own
    // entry, or, for a key without one, those of the entry that answers it now (a group key such
    // as 030*, or a shorter number); empty and not blocked when nothing answers. Number is `key`.
    CallerRecord CallerOf(const QString &key) const;
    // Every entry, sorted case-insensitively in the user's locale (QCollator), also in the C locale.
    QList<CallerRecord> ReadCallerList(CallerSortOrder order) const;

    // ---- writing (throws InvalidInput for a refused key or value, IoError when the save fails) ----

    // Writes a value under a key: an existing entry keeps its line, a new one becomes the last
    // line of [Anrufer]. An unchanged value leaves the file untouched.
    void WriteValue(const QString &key, const QString &value);
    // Removes the section [Anrufer] with all its lines.
    void EraseAll();
    // Learns a caller: "F#<name>" under the number ("0" for an empty number).
    void AddCaller(const QString &number, const QString &name);
    // Writes "T#<name>" or "F#<name>" under the number.
    void WriteCaller(const QString &number, const QString &name, bool blocked);
    // Names or blocks one caller: writes "T#<name>" or "F#<name>" under `key` so that the
    // look-up of the key finds it. Where another entry would answer the key first (a group key
    // such as 030*, or a shorter number), the entry goes right before the first such entry, as
    // the import places new entries; an entry of the key that stands behind it moves there.
    // Otherwise as WriteCaller.
    void WriteOwnCaller(const QString &key, const QString &name, bool blocked);
    // Replaces the whole directory with `rows` in their order, in one atomic save. Rows with an
    // empty number are dropped (that is how the list deletes); of two rows with one number the
    // later row's name and flag stand, in the place of the first. Entries the file holds that
    // answer the same numbers (030* and 0301234567) keep the order the file gave them, so that
    // the save changes no look-up by its order: a caller's own entry stays before its group
    // key, and an entry the group key hides stays hidden. When any row is refused, nothing is
    // written.
    // `loaded` is the list the rows were edited from (the caller list's ReadCallerList): only
    // the user's edits are written then. A row that still reads as it was loaded keeps what the
    // file holds under its key now (a notice may have blocked that caller while the list was
    // open), and is dropped when the file no longer holds it; a loaded entry that is not among
    // the rows was deleted by the user. An entry the file holds now that was not loaded and is
    // not among the rows was added while the list was open (the ring handler learned a caller):
    // it is kept, after the rows. Without `loaded` the rows alone make the new directory.
    void WriteCallerList(const QList<CallerRecord> &rows,
                         const std::optional<QList<CallerRecord>> &loaded = std::nullopt);

    // ---- writing without waiting for the disk ----

    // Learns a caller the ring handler did not find: AddCaller, saved by a worker thread, but
    // only while the directory holds no entry of that key (checked again when it is saved). A
    // key shorter than 2 characters ("0" for a call without number) is never found, so
    // learning it anew would replace the user's entry of it at every call. Several queued
    // additions become one save. The key and value are checked at once (InvalidInput); save
    // errors go to the write error handler and the addition stays queued and is retried, so it
    // is never lost.
    void QueueAddCaller(const QString &number, const QString &name);
    // Waits until everything queued is in the file; throws IoError when it cannot be written.
    void Flush();
    // True while queued additions have not reached the file.
    bool HasPending() const;
    // Called on the worker thread when a queued save fails (hand it to the main thread before
    // touching windows). Without a handler the error is logged.
    void SetWriteErrorHandler(std::function<void(const IoError &)> handler);

    // ---- values ----

    // Splits a value: when its second character is "#", the name follows it and the caller is
    // blocked exactly when the first character is "T"; otherwise the value is the name.
    static void SplitValue(const QString &value, QString *name, bool *blocked);
    static QString JoinValue(const QString &name, bool blocked);
    // The "Gesperrt" column of the list: any text, whatever it holds, means blocked.
    static bool BlockedFromText(const QString &text) { return !text.isEmpty(); }

    // Throw InvalidInput when the key or value would damage the file: a line break anywhere;
    // in a key "=", "[", "]", a leading ";", blanks at either end, an empty key or characters
    // outside Windows-1252; a value longer than kMaxValueLength characters.
    static void CheckKey(const QString &key);
    static void CheckValue(const QString &key, const QString &value);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
