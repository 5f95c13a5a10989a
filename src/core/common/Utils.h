#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QEventLoop>
#include <QString>
#include <functional>

// Shared helpers of every subsystem.
//
// Character sets. The program's strings are QString. The caller directory and the D-Info
// answer file hold their texts in the OEM set, code page 850; the journal holds its texts in
// the ANSI set, Windows-1252. Every byte decodes to one character and every character encodes
// to one byte: a character the set lacks becomes its base letter when it has one that the set
// holds ("š" -> "s"), else "?". Nothing is dropped, so lengths in bytes and characters agree.

// OEM bytes to a program string, at most 255 characters (longer input is cut).
QString OemToAnsiStr(QByteArrayView oem);
// A program string to OEM bytes, at most 254 bytes (longer input is cut). Stores that must not
// cut (the caller directory) check the length themselves and use EncodeOem.
QByteArray AnsiToOemStr(const QString &text);

// The same conversions without a length limit.
QString DecodeOem(QByteArrayView oem);
QByteArray EncodeOem(const QString &text);
QString DecodeAnsi(QByteArrayView ansi);
QByteArray EncodeAnsi(const QString &text);
// True when every character of `text` has a form in the ANSI set (it survives EncodeAnsi).
bool IsAnsiText(const QString &text);

// Creates every missing folder of `path`; false when one cannot be made (or a part of the path
// is a file). An existing folder is success.
bool ForceDirectoriesEx(const QString &path);

// The file a path finally names: symbolic links followed (also to a file that does not exist
// yet), so a file linked into place is written where it lives and the link stays.
QString FileBehindLinks(const QString &path);

// What WriteFileAtomic does when `path` names a symbolic link.
enum class LinkMode
{
    // The program's own files: the file behind the link is replaced, the link stays.
    FollowLinks,
    // Exports to a name the user gives: the link itself is replaced by the new file and the file
    // it points to stays untouched, so that a link planted in a shared folder cannot redirect it.
    ReplaceLink,
};

// Replaces `path` with `bytes` atomically (the file behind `path` when it is a link, unless
// `links` says otherwise): a new file beside it is written, synced and renamed over the old one,
// so the old file stays whole when anything fails (every write and the sync are checked; a full
// disk that cuts the new file short is caught). Throws IoError "nach <path> kann nicht
// geschrieben werden".
void WriteFileAtomic(const QString &path, QByteArrayView bytes, LinkMode links = LinkMode::FollowLinks);
// Renames `from` over `to` (the file behind it when it is a link) in one step and syncs the
// folder; throws IoError naming `to`.
void RenameOver(const QString &from, const QString &to);

// Renames `from` to `to` only when no file of that name exists, in one step where the file
// system allows, and syncs the folder; false when `to` exists or the rename fails.
bool RenameNoReplace(const QString &from, const QString &to);

// Copies the whole of `source` to `target` through memory. `target` is replaced atomically
// and synced to disk. Throws IoError naming the file that could not be read or written.
void CopyFileByStream(const QString &source, const QString &target);

// The modification time of a file (local time); invalid when the file does not exist.
QDateTime FileDateTimeOf(const QString &path);

// Waits `ms` milliseconds by the monotonic clock. On the main thread it keeps processing Qt
// events meanwhile (windows paint, queued hand-overs run); elsewhere it sleeps.
void DelayMs(int ms);
// Waits until `done` holds, checking it every few milliseconds and after events; false when `limitMs` passed
// first (a negative limit waits without one). On the main thread it keeps processing Qt events of the kinds
// `flags` allows meanwhile (windows paint, queued hand-overs run); elsewhere it sleeps.
bool WaitFor(const std::function<bool()> &done, int limitMs,
             QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
