#pragma once

#include <QString>
#include <QtGlobal>

// What tells whether a file changed since it was read: which file the path names (device and
// inode, so a file replaced by renaming is seen even when its time and size agree), its size, and
// the times of its last change in nanoseconds (of its data, and of its inode, which no one can set
// back by hand). An absent file has the empty stamp.
struct FileStamp
{
    bool Exists = false;
    quint64 Device = 0;
    quint64 Inode = 0;
    qint64 Size = 0;
    qint64 ModifiedNs = 0;
    qint64 ChangedNs = 0;

    static FileStamp Of(const QString &path);

    // File systems stamp changes with a coarse clock: a file changed again within one tick, in
    // place and to the same size, keeps its stamp. A file whose last change lies more than
    // `grainNs` before a moment cannot change at that moment or later without a newer stamp
    // (a negative grain: never settled).
    bool SettledBefore(qint64 wallClockNs, qint64 grainNs) const;

    bool operator==(const FileStamp &) const = default;
};
