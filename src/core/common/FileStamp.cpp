#include "common/FileStamp.h"

#include <QFile>

#include <algorithm>
#include <sys/stat.h>

FileStamp FileStamp::Of(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return {};
    FileStamp s;
    s.Exists = true;
    s.Device = quint64(st.st_dev);
    s.Inode = quint64(st.st_ino);
    s.Size = qint64(st.st_size);
    s.ModifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.ChangedNs = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

bool FileStamp::SettledBefore(qint64 wallClockNs, qint64 grainNs) const
{
    return !Exists || (grainNs >= 0 && std::max(ModifiedNs, ChangedNs) + grainNs < wallClockNs);
}
