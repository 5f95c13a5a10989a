#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A file opened for reading only when it is a regular file: a pipe or a device may never end, and
// a read of one would hold its thread up for good. It is opened without waiting, so that a pipe
// nobody writes to cannot hold up the open either. A symbolic link at the path is followed (a
// link to a regular file is fine) unless the reader refuses links, as it does for a file in a
// folder that another program writes into.
class RegularFile
{
public:
    enum class Links
    {
        Follow,
        Refuse,
    };
    enum class State
    {
        Open,
        Unreadable, // it could not be opened or looked at: Error() says why
        NotRegular, // a pipe, a device, a folder, or a link that was refused
    };

    RegularFile(const QString &path, Links links);
    ~RegularFile();
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    State Status() const { return m_state; }
    // The errno of the open, the look at the file or the last read that failed.
    int Error() const { return m_error; }
    // The size the file had when it was opened.
    qint64 Size() const { return m_size; }

    // Reads on from where the last read ended until `limit` bytes are there or the file ends, so a
    // file that grows meanwhile gives no more than that. False on a read error (Error()).
    bool Read(qint64 limit, QByteArray *bytes);

private:
    int m_fd = -1;
    State m_state = State::Unreadable;
    int m_error = 0;
    qint64 m_size = 0;
};
