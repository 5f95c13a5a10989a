#include "calls/CallJournal.h"

#include "calls/StoreWorker.h"
#include "common/Clock.h"
#include "common/FileStamp.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "settings/SettingsStore.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const QDate kEpoch(1899, 12, 30);
constexpr qint64 kMsPerDay = 86400000;
// Beyond the dates QDate holds (some two billion years either way).
constexpr double kMaxDays = 1e12;

QString cannotWrite(const QString &path, int error)
{
    return QCoreApplication::translate("CallJournal", "nach %1 kann nicht geschrieben werden: %2")
        .arg(path, qt_error_string(error));
}

QString cannotRead(const QString &path, const QString &why)
{
    return QCoreApplication::translate("CallJournal", "%1 kann nicht gelesen werden: %2").arg(path, why);
}

void putText(QByteArray &out, int at, const QString &text, int max)
{
    const QByteArray bytes = EncodeAnsi(text.left(max)).left(max);
    out[at] = char(bytes.size());
    std::memcpy(out.data() + at + 1, bytes.constData(), size_t(bytes.size()));
}

QString getText(const char *at, int max)
{
    return DecodeAnsi(QByteArrayView(at + 1, std::min<int>(uchar(*at), max)));
}

double getTime(const char *at)
{
    const quint64 bits = qFromLittleEndian<quint64>(at);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The whole file; a missing file is created empty first.
QByteArray readOrCreate(const QString &path)
{
    QFile file(path);
    if (!file.exists()) {
        if (!file.open(QIODevice::WriteOnly))
            throw IoError(
                QCoreApplication::translate("CallJournal", "nach %1 kann nicht geschrieben werden: %2")
                    .arg(path, file.errorString()),
                path);
        return QByteArray();
    }
    if (!file.open(QIODevice::ReadOnly))
        throw IoError(cannotRead(path, file.errorString()), path);
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw IoError(cannotRead(path, file.errorString()), path);
    return data;
}

// The share of records that look right when the data is read in records of `size` bytes: a
// plausible call time (1980 to 2100) and length bytes in range.
double plausibleShare(QByteArrayView data, int size)
{
    const qsizetype count = data.size() / size;
    if (count == 0)
        return 0;
    qsizetype plausible = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const char *record = data.constData() + i * size;
        const double time = getTime(record);
        if (!std::isfinite(time) || time < 29221.0 || time > 73051.0)
            continue;
        if (uchar(record[8]) > JournalRecord::kMaxKey)
            continue;
        if (size == JournalRecord::kSize && uchar(record[29]) > JournalRecord::kMaxMsn)
            continue;
        ++plausible;
    }
    return double(plausible) / double(count);
}

} // namespace

namespace {
// A damaged record may hold anything: a time that is no number, or one far beyond every calendar
// date, has no date (the day count would not even fit an integer).
bool hasDate(double callTime)
{
    return std::isfinite(callTime) && std::fabs(callTime) <= kMaxDays;
}

// CallTime as days since the epoch and milliseconds of that day (a time that rounds to the end
// of its day is the start of the next).
std::pair<qint64, int> splitCallTime(double callTime)
{
    double days = std::floor(callTime);
    qint64 ms = std::llround((callTime - days) * kMsPerDay);
    if (ms >= kMsPerDay) {
        days += 1;
        ms -= kMsPerDay;
    }
    return {qint64(days), int(ms)};
}
} // namespace

QDateTime JournalRecord::callDateTime() const
{
    // Wall-clock time of that day, so days on which daylight saving time starts or ends read
    // back as they were written.
    if (!hasDate(CallTime))
        return QDateTime();
    const auto [days, ms] = splitCallTime(CallTime);
    return QDateTime(kEpoch.addDays(days), QTime::fromMSecsSinceStartOfDay(ms));
}

QDate JournalRecord::callDate() const
{
    if (!hasDate(CallTime))
        return QDate();
    return kEpoch.addDays(splitCallTime(CallTime).first);
}

double JournalRecord::toCallTime(const QDateTime &when)
{
    const QDateTime local = when.toLocalTime();
    return double(kEpoch.daysTo(local.date())) + double(local.time().msecsSinceStartOfDay()) / kMsPerDay;
}

QByteArray JournalRecord::toBytes() const
{
    QByteArray out(kSize, '\0');
    quint64 bits;
    std::memcpy(&bits, &CallTime, sizeof bits);
    qToLittleEndian(bits, out.data());
    putText(out, 8, CallerKey, kMaxKey);
    putText(out, 29, Msn, kMaxMsn);
    return out;
}

JournalRecord JournalRecord::fromBytes(const char *bytes, int size)
{
    JournalRecord r;
    r.CallTime = getTime(bytes);
    r.CallerKey = getText(bytes + 8, kMaxKey);
    if (size >= kSize)
        r.Msn = getText(bytes + 29, kMaxMsn);
    return r;
}

struct CallJournal::Private
{
    explicit Private(const QString &dir)
        : folder(dir), path(folder + QStringLiteral("anruf2.dat")), worker([this] { append(nullptr); })
    {}

    // Writes the queue and then `extra` behind the last whole record, in one write. Records
    // that reached the file leave the queue; the rest stays for the next try. The queue lock is
    // held across the write (not the sync), so a reader sees each record exactly once.
    void append(const JournalRecord *extra)
    {
        std::lock_guard io(ioLock);
        std::unique_lock queue(pendingLock);
        QByteArray bytes;
        bytes.reserve(qsizetype(pending.size() + 1) * JournalRecord::kSize);
        for (const JournalRecord &r : pending)
            bytes += r.toBytes();
        if (extra)
            bytes += extra->toBytes();
        if (bytes.isEmpty())
            return;

        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            throw IoError(cannotWrite(path, errno), path);
        struct stat st
        {
        };
        if (::fstat(fd, &st) != 0) {
            const int error = errno;
            ::close(fd);
            throw IoError(cannotWrite(path, error), path);
        }
        const off_t start = st.st_size - st.st_size % JournalRecord::kSize;
        qsizetype done = 0;
        int error = 0;
        while (done < bytes.size()) {
            const ssize_t n =
                ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), start + done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = n < 0 ? errno : ENOSPC;
                break;
            }
            done += n;
        }
        const size_t whole = size_t(done / JournalRecord::kSize);
        pending.erase(pending.begin(), pending.begin() + std::min(whole, pending.size()));
        queue.unlock();
        if (!error && ::fsync(fd) != 0)
            error = errno;
        if (::close(fd) != 0 && !error)
            error = errno;
        if (error)
            throw IoError(cannotWrite(path, error), path);
    }

    const QString folder;
    const QString path;
    mutable std::mutex pendingLock;
    std::vector<JournalRecord> pending;
    std::mutex ioLock;
    StoreWorker worker; // last: stops before the rest goes away
};

CallJournal::CallJournal(const QString &folder)
    : d(std::make_unique<Private>(folder.isEmpty()                    ? Paths::dataDir()
                                  : folder.endsWith(QLatin1Char('/')) ? folder
                                                                      : folder + QLatin1Char('/')))
{}

CallJournal::~CallJournal()
{
    d->worker.finish([this] { return HasPending(); });
}

QString CallJournal::path() const
{
    return d->path;
}

QString CallJournal::scratchPath() const
{
    return d->folder + QStringLiteral("updtemp.dat");
}

QString CallJournal::backupPath() const
{
    return d->path + QStringLiteral(".bak");
}

void CallJournal::AppendCall(const QString &callerKey, const QString &msn)
{
    const JournalRecord record{JournalRecord::toCallTime(Clock::now()),
                               callerKey.left(JournalRecord::kMaxKey), msn.left(JournalRecord::kMaxMsn)};
    d->append(&record);
}

QList<JournalRecord> CallJournal::ReadCalls() const
{
    QByteArray data;
    std::vector<JournalRecord> queued;
    {
        std::lock_guard guard(d->pendingLock);
        data = readOrCreate(d->path);
        queued = d->pending;
    }
    QList<JournalRecord> records = RecordsOf(data);
    records.reserve(records.size() + qsizetype(queued.size()));
    for (JournalRecord &r : queued)
        records.append(std::move(r));
    return records;
}

QList<JournalRecord> CallJournal::RecordsOf(QByteArrayView data)
{
    const qsizetype count = data.size() / JournalRecord::kSize;
    QList<JournalRecord> records;
    records.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        records.append(JournalRecord::fromBytes(data.constData() + i * JournalRecord::kSize));
    return records;
}

CallJournal::Form CallJournal::FormOf(QByteArrayView data)
{
    // Read in the wrong size, at most one record in four (or five) starts where a record
    // starts; more than half is a clear majority.
    const double old = plausibleShare(data, JournalRecord::kOldSize);
    const double current = plausibleShare(data, JournalRecord::kSize);
    if (old > 0.5 && old > current)
        return Form::Old;
    if (current > 0.5 && current > old)
        return Form::New;
    if (old > 0.5) {
        // Both readings look right (a file of a single record): the form it fills exactly wins.
        const bool oldExact = data.size() % JournalRecord::kOldSize == 0;
        const bool newExact = data.size() % JournalRecord::kSize == 0;
        if (oldExact != newExact)
            return oldExact ? Form::Old : Form::New;
    }
    return Form::Undecided;
}

void CallJournal::ClearJournal()
{
    std::lock_guard io(d->ioLock);
    std::lock_guard guard(d->pendingLock);
    const int fd =
        ::open(QFile::encodeName(d->path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        throw IoError(cannotWrite(d->path, error), d->path);
    }
    ::close(fd);
    d->pending.clear();
}

void CallJournal::QueueCall(const QString &callerKey, const QString &msn)
{
    QueueCall(callerKey, msn, Clock::now());
}

void CallJournal::QueueCall(const QString &callerKey, const QString &msn, const QDateTime &when)
{
    {
        std::lock_guard guard(d->pendingLock);
        d->pending.push_back({JournalRecord::toCallTime(when), callerKey.left(JournalRecord::kMaxKey),
                              msn.left(JournalRecord::kMaxMsn)});
    }
    d->worker.wake();
}

void CallJournal::Flush()
{
    d->append(nullptr);
}

bool CallJournal::HasPending() const
{
    std::lock_guard guard(d->pendingLock);
    return !d->pending.empty();
}

void CallJournal::SetWriteErrorHandler(std::function<void(const IoError &)> handler)
{
    d->worker.setErrorHandler(std::move(handler));
}

CallJournal::Conversion CallJournal::ConvertJournal(const std::function<void(qint64, qint64)> &progress)
{
    if (Settings::Read(Settings::Update20))
        return Conversion::AlreadyDone;

    std::lock_guard io(d->ioLock);
    // A value that is no text (another program wrote it) must not fail the conversion at every
    // start: it reads as no MSN.
    const QString msnList = Settings::Read(Settings::Msn);
    const qsizetype comma = msnList.indexOf(QLatin1Char(','));
    const QString msn = comma < 0 ? QString() : msnList.left(comma);

    if (!QFileInfo::exists(d->path)) {
        Settings::Write(Settings::Update20, true);
        return Conversion::NoJournal;
    }
    QFile in(d->path);
    if (!in.open(QIODevice::ReadOnly))
        throw IoError(cannotRead(d->path, in.errorString()), d->path);
    const QByteArray old = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw IoError(cannotRead(d->path, in.errorString()), d->path);
    in.close();
    if (old.isEmpty()) {
        Settings::Write(Settings::Update20, true);
        return Conversion::NoJournal;
    }
    const Form form = FormOf(old);
    if (form == Form::New) {
        Settings::Write(Settings::Update20, true);
        return Conversion::AlreadyConverted;
    }
    if (form == Form::Undecided) {
        // Converting 40-byte records as 32-byte ones would garble the whole journal, and so
        // would reading 32-byte records as 40-byte ones: the flag stays clear and the next start
        // looks again.
        qWarning().noquote() << QCoreApplication::translate(
                                    "CallJournal",
                                    "%1: Format der Einträge nicht eindeutig, nicht konvertiert")
                                    .arg(d->path);
        return Conversion::Undecided;
    }

    const qint64 count = old.size() / JournalRecord::kOldSize;
    if (progress)
        progress(0, count);
    QByteArray converted;
    converted.reserve(count * JournalRecord::kSize);
    for (qint64 i = 0; i < count; ++i) {
        JournalRecord r =
            JournalRecord::fromBytes(old.constData() + i * JournalRecord::kOldSize, JournalRecord::kOldSize);
        r.Msn = msn;
        converted += r.toBytes();
        if (progress && (i + 1) % 256 == 0)
            progress(i + 1, count);
    }
    // The scratch file is replaced as a whole, so nothing of an earlier, failed run survives in
    // it; the original is kept beside the journal before the converted file takes its place.
    WriteFileAtomic(scratchPath(), converted);
    CopyFileByStream(d->path, backupPath());
    RenameOver(scratchPath(), d->path);
    Settings::Write(Settings::Update20, true);
    if (progress)
        progress(count, count);
    return Conversion::Converted;
}

QString CallJournal::UndecidedNotice() const
{
    const FileStamp stamp = FileStamp::Of(d->path);
    if (!stamp.Exists)
        return QString();
    const QString identity = QStringLiteral("%1:%2").arg(stamp.Device).arg(stamp.Inode);
    if (Settings::Read(Settings::JournalUndecidedTold) == identity)
        return QString();
    Settings::Write(Settings::JournalUndecidedTold, identity);
    if (stamp.Size < JournalRecord::kOldSize)
        return QCoreApplication::translate(
                   "CallJournal",
                   "Das Anruf-Journal %1 ist kürzer als ein Eintrag (%2 Bytes) und wurde nicht "
                   "konvertiert.")
            .arg(d->path)
            .arg(stamp.Size);
    return QCoreApplication::translate(
               "CallJournal",
               "Die Einträge im Anruf-Journal %1 passen weder zum alten noch zum neuen Format; "
               "die Datei wurde nicht konvertiert.")
        .arg(d->path);
}
