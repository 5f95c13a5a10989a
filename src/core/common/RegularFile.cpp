#include "common/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile::RegularFile(const QString &path, Links links)
{
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    if (links == Links::Refuse)
        flags |= O_NOFOLLOW;
    m_fd = ::open(QFile::encodeName(path).constData(), flags);
    if (m_fd < 0) {
        m_error = errno;
        // O_NOFOLLOW fails on a link with ELOOP: it is there, but not a file to read.
        m_state = links == Links::Refuse && m_error == ELOOP ? State::NotRegular : State::Unreadable;
        return;
    }
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0) {
        m_error = errno;
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        m_state = State::NotRegular;
        return;
    }
    m_size = qint64(info.st_size);
    m_state = State::Open;
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RegularFile::Read(qint64 limit, QByteArray *bytes)
{
    bytes->clear();
    if (m_state != State::Open)
        return false;
    // The size when opened and one byte, to see the end without a second buffer; a file that
    // grows meanwhile gets more room, up to the limit.
    bytes->resize(qsizetype(std::min(limit, m_size + 1)));
    qsizetype have = 0;
    for (;;) {
        if (have == bytes->size()) {
            if (have >= limit)
                break;
            bytes->resize(qsizetype(std::min<qint64>(limit, qint64(have) * 2 + 4096)));
        }
        const ssize_t got = ::read(m_fd, bytes->data() + have, size_t(bytes->size() - have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            m_error = errno;
            bytes->clear();
            return false;
        }
        if (got == 0)
            break;
        have += got;
    }
    bytes->truncate(have);
    return true;
}
