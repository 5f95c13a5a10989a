#include "common/Utils.h"

#include "common/Errors.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>
#include <QTimer>

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Code page 850, bytes 0x80..0xFF.
constexpr char16_t kCp850High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C,
    0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580, 0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6,
    0x00A7, 0x00F7, 0x00B8, 0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1252, bytes 0x80..0x9F (0xA0..0xFF are Latin-1). The five unassigned bytes stand for
// the C1 controls of the same number, as Windows maps them.
constexpr char16_t kCp1252C1[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

struct CodePage
{
    std::array<char16_t, 256> toUnicode{};
    std::array<uchar, 0x10000> fromUnicode{}; // 0 = no form (NUL itself is handled apart)
};

CodePage makeCp850()
{
    CodePage page;
    for (int b = 0; b < 256; ++b) {
        const char16_t u = b < 0x80 ? char16_t(b) : kCp850High[b - 0x80];
        page.toUnicode[b] = u;
        page.fromUnicode[u] = uchar(b);
    }
    return page;
}

CodePage makeCp1252()
{
    CodePage page;
    for (int b = 0; b < 256; ++b) {
        const char16_t u = (b >= 0x80 && b < 0xA0) ? kCp1252C1[b - 0x80] : char16_t(b);
        page.toUnicode[b] = u;
        page.fromUnicode[u] = uchar(b);
    }
    return page;
}

const CodePage &cp850()
{
    static const CodePage page = makeCp850();
    return page;
}

const CodePage &cp1252()
{
    static const CodePage page = makeCp1252();
    return page;
}

QString decode(const CodePage &page, QByteArrayView bytes, qsizetype limit)
{
    const qsizetype n = std::min(bytes.size(), limit);
    QString out(n, Qt::Uninitialized);
    QChar *dst = out.data();
    for (qsizetype i = 0; i < n; ++i)
        dst[i] = QChar(page.toUnicode[uchar(bytes[i])]);
    return out;
}

// The byte for one character (a code point; surrogate pairs arrive joined): its own form, else
// the form of its base letter, else "?".
char encodeOne(const CodePage &page, char32_t ucs)
{
    if (ucs == 0)
        return 0;
    if (ucs < 0x10000 && page.fromUnicode[ucs])
        return char(page.fromUnicode[ucs]);
    const QString decomposed = QString::fromUcs4(&ucs, 1).normalized(QString::NormalizationForm_KD);
    if (!decomposed.isEmpty()) {
        const char16_t base = decomposed.at(0).unicode();
        if (base != 0 && page.fromUnicode[base])
            return char(page.fromUnicode[base]);
    }
    return '?';
}

QByteArray encode(const CodePage &page, const QString &text, qsizetype limit)
{
    QByteArray out;
    out.reserve(std::min(text.size(), limit));
    for (qsizetype i = 0; i < text.size() && out.size() < limit; ++i) {
        const QChar c = text.at(i);
        if (c.unicode() < 0x80) {
            out.append(char(c.unicode()));
            continue;
        }
        char32_t ucs = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ucs = QChar::surrogateToUcs4(c, text.at(++i));
        out.append(encodeOne(page, ucs));
    }
    return out;
}

constexpr qsizetype kNoLimit = std::numeric_limits<qsizetype>::max();

} // namespace

QString OemToAnsiStr(QByteArrayView oem)
{
    return decode(cp850(), oem, 255);
}

QByteArray AnsiToOemStr(const QString &text)
{
    return encode(cp850(), text, 254);
}

QString DecodeOem(QByteArrayView oem)
{
    return decode(cp850(), oem, kNoLimit);
}

QByteArray EncodeOem(const QString &text)
{
    return encode(cp850(), text, kNoLimit);
}

QString DecodeAnsi(QByteArrayView ansi)
{
    return decode(cp1252(), ansi, kNoLimit);
}

QByteArray EncodeAnsi(const QString &text)
{
    return encode(cp1252(), text, kNoLimit);
}

bool IsAnsiText(const QString &text)
{
    const CodePage &page = cp1252();
    for (const QChar c : text) {
        if (c.unicode() != 0 && !page.fromUnicode[c.unicode()])
            return false;
    }
    return true;
}

bool ForceDirectoriesEx(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    return QDir().mkpath(path) && QFileInfo(path).isDir();
}

namespace {
QString cannotWrite(const QString &path)
{
    return QCoreApplication::translate("Utils", "nach %1 kann nicht geschrieben werden").arg(path);
}

void syncFolderOf(const QByteArray &file)
{
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? file.first(slash) : QByteArray(slash == 0 ? "/" : ".");
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

QString FileBehindLinks(const QString &path)
{
    QFileInfo info(path);
    // A loop of links ends after a few steps; the rename then fails and says so.
    for (int hops = 0; hops < 32 && info.isSymLink(); ++hops) {
        const QString target = info.symLinkTarget();
        if (target.isEmpty())
            break;
        info = QFileInfo(target);
    }
    return info.absoluteFilePath();
}

namespace {
bool writeAll(int fd, QByteArrayView bytes)
{
    const char *p = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// The new file's contents and mode, synced; false when any step fails.
bool fillNewFile(int fd, QByteArrayView bytes, const struct stat *old)
{
    if (old && ::fchmod(fd, old->st_mode & 07777) != 0)
        return false;
    return writeAll(fd, bytes) && ::fsync(fd) == 0;
}

// Writes the new file without a name (O_TMPFILE), so that a crash or a kill while it is written
// leaves nothing behind, and names it `*named` beside the target only once it is complete. -1:
// done (the caller renames); 0: the file system cannot do that, use a named temporary file; 1:
// a write failed.
int writeUnnamed(const QByteArray &folder, const QByteArray &prefix, QByteArrayView bytes,
                 const struct stat *old, QByteArray *named)
{
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return 0;
    if (!fillNewFile(fd, bytes, old)) {
        ::close(fd);
        return 1;
    }
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    int result = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        *named = prefix + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, named->constData(), AT_SYMLINK_FOLLOW) == 0) {
            result = -1;
            break;
        }
        if (errno != EEXIST)
            break;
    }
    ::close(fd);
    return result;
}
} // namespace

void WriteFileAtomic(const QString &path, QByteArrayView bytes, LinkMode links)
{
    const bool follow = links == LinkMode::FollowLinks;
    const QByteArray target =
        QFile::encodeName(follow ? FileBehindLinks(path) : QFileInfo(path).absoluteFilePath());
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? target.first(slash) : QByteArray(slash == 0 ? "/" : ".");
    const QByteArray prefix = target.first(slash + 1) + '.' + target.sliced(slash + 1) + '.';
    struct stat old
    {
    };
    // Without following, a link in the way is not looked through: the new file replaces it with
    // the mode of a new file (the rename replaces the link, never what it points to).
    bool hadOld = (follow ? ::stat(target.constData(), &old) : ::lstat(target.constData(), &old)) == 0;
    if (hadOld && !follow && S_ISLNK(old.st_mode))
        hadOld = false;
    else if (hadOld && !S_ISREG(old.st_mode))
        throw IoError(cannotWrite(path), path);

    QByteArray temp;
    const int unnamed = writeUnnamed(folder, prefix, bytes, hadOld ? &old : nullptr, &temp);
    bool ok = unnamed == -1;
    if (unnamed == 0) {
        temp = prefix + "XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            throw IoError(cannotWrite(path), path);
        ok = fillNewFile(fd, bytes, hadOld ? &old : nullptr);
        ok = (::close(fd) == 0) && ok;
    }
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        if (!temp.isEmpty())
            ::unlink(temp.constData());
        throw IoError(cannotWrite(path), path);
    }
    syncFolderOf(target);
}

void RenameOver(const QString &from, const QString &to)
{
    const QByteArray target = QFile::encodeName(FileBehindLinks(to));
    if (::rename(QFile::encodeName(from).constData(), target.constData()) != 0)
        throw IoError(cannotWrite(to), to);
    syncFolderOf(target);
}

bool RenameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    bool renamed =
        ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0;
    if (!renamed && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without that kind of rename: a second link fails just as well when the
        // name is taken.
        renamed = ::link(source.constData(), target.constData()) == 0;
        if (renamed)
            ::unlink(source.constData());
        else if (errno == EPERM || errno == EOPNOTSUPP)
            // Nor hard links (FAT): checked first, then renamed.
            renamed = ::access(target.constData(), F_OK) != 0 && errno == ENOENT &&
                      ::rename(source.constData(), target.constData()) == 0;
    }
    if (renamed)
        syncFolderOf(target);
    return renamed;
}

void CopyFileByStream(const QString &source, const QString &target)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        throw IoError(QCoreApplication::translate("Utils", "%1 kann nicht gelesen werden: %2")
                          .arg(source, in.errorString()),
                      source);
    const QByteArray content = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw IoError(QCoreApplication::translate("Utils", "%1 kann nicht gelesen werden: %2")
                          .arg(source, in.errorString()),
                      source);
    in.close();
    WriteFileAtomic(target, content);
}

QDateTime FileDateTimeOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QDateTime();
    return info.lastModified();
}

void DelayMs(int ms)
{
    if (ms <= 0)
        return;
    QDeadlineTimer deadline(ms, Qt::PreciseTimer);
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        QThread::msleep(ms);
        return;
    }
    while (!deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(std::max<qint64>(1, deadline.remainingTime()), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

bool WaitFor(const std::function<bool()> &done, int limitMs, QEventLoop::ProcessEventsFlags flags)
{
    constexpr int kCheckMs = 2;
    const QDeadlineTimer deadline =
        limitMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(limitMs, Qt::PreciseTimer);
    if (done())
        return true;
    QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(kCheckMs);
        }
        return true;
    }
    if (deadline.hasExpired()) { // no time to wait: what has arrived is handled, once
        QCoreApplication::processEvents(flags);
        return done();
    }
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    check.setInterval(kCheckMs);
    bool held = false;
    const auto look = [&] {
        held = held || done();
        if (held || deadline.hasExpired())
            loop.quit();
    };
    // The timer sees what other threads change; the look before the loop sleeps again ends the
    // wait as soon as the events just handled (a reply on a socket) brought what it waits for.
    QObject::connect(&check, &QTimer::timeout, &loop, look);
    if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance())
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &loop, look);
    check.start();
    if (loop.exec(flags) < 0) {
        // Once the application has been told to quit, nested event loops no longer run (exec
        // returns at once); the wait goes on by processing events itself.
        check.stop();
        while (!(held = done()) && !deadline.hasExpired()) {
            QCoreApplication::processEvents(flags);
            QThread::msleep(kCheckMs);
        }
    }
    return held || done();
}
