// Crash consistency: the built program (offscreen, temporary folders, its own isdnsim) is killed
// with SIGKILL at random moments while a storm of calls makes it learn callers and write the
// journal, and while a second process writes settings through the same settings store. After
// every kill the files are checked before the program starts again on them:
//
// - anruf.dat is whole: "[Anrufer]" and then only complete "key=value" lines, and no entry it
//   held before has gone;
// - anruf2.dat holds only whole 40-byte records, each of them plausible;
// - Zahlwerk.ini parses, keeps the program's values, and holds for each of the writer's values
//   the last one whose write had returned (or the one being written at the kill);
// - every call whose answer the exchange reported more than 1 s before the kill is in the
//   journal and, when its caller was new, in the directory.
//
// kill9_runs: the kills. kill9_torn_files: files found broken after a kill (each file of each
// run counts once). kill9_lost_records: calls (journal record or learned entry) missing.
// kill9_stale_files: files left beside the data and settings files after the last kill (the
// leftovers of saves that a kill broke off).
//
// Options: --runs N (default 200), --seed S. With KILL9_KEEP set, the folders stay (their path
// goes to standard error), with a copy of each file found broken.
#include "BenchDirectory.h"
#include "BenchProgram.h"
#include "BenchSupport.h"
#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"

#include "ControlClient.h"
#include "SimProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kDirectoryEntries = 10000;
constexpr int kWorkers = 6;
constexpr int kWriterValues = 6;

// ---- the settings writer (a child process of this benchmark) ----

// Writes settings in a loop and notes each write in `log` before it starts ("B name value") and
// once it has returned ("C name value"), each note with one write to a file opened for appending.
int runSettingsWriter(const QString &log, int seed)
{
    const int fd =
        ::open(QFile::encodeName(log).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return 1;
    const auto note = [fd](char kind, const QString &name, const QString &value) {
        const QByteArray line = kind + (" " + name + " " + value).toUtf8() + "\n";
        return ::write(fd, line.constData(), size_t(line.size())) == line.size();
    };
    QRandomGenerator random{quint32(seed)};
    for (int i = 0;; ++i) {
        const QString name = QStringLiteral("Kill9_Value%1").arg(random.bounded(kWriterValues));
        // Values of changing length, some with commas as the MSN lists have them.
        const QString value = QStringLiteral("s%1-%2").arg(seed).arg(i) +
                              QString(random.bounded(200), QLatin1Char(i % 3 ? 'x' : ','));
        if (!note('B', name, value))
            return 1;
        WriteSettingString(name, value);
        if (!note('C', name, value))
            return 1;
        // As a person changing options: a write now and then.
        QThread::msleep(random.bounded(5, 60));
    }
}

// ---- the storm ----

// A caller the directory knows, and the key its calls are journalled under (a group key may
// match it first).
struct KnownCaller
{
    QString number;
    QString key;
};

struct PlacedCall
{
    QString number;
    QString key; // in the journal
    bool isNew = false;
    SteadyClock::time_point answered;
};

class Storm
{
public:
    Storm(uint16_t port, const QList<KnownCaller> &known, std::atomic<qint64> &nextNumber)
        : m_port(port), m_known(known), m_nextNumber(nextNumber)
    {}

    void start(quint32 seed)
    {
        m_stop = false;
        for (int w = 0; w < kWorkers; ++w)
            m_threads.emplace_back([this, seed, w] { work(seed * 31 + quint32(w)); });
    }

    // Stops the storm and gives the calls the program answered.
    std::vector<PlacedCall> finish()
    {
        m_stop = true;
        for (std::thread &t : m_threads)
            t.join();
        m_threads.clear();
        return std::move(m_answered);
    }

private:
    void work(quint32 seed)
    {
        QRandomGenerator random(seed);
        isdnsim::ControlClient control;
        std::string error;
        if (!control.connect("127.0.0.1", m_port, &error))
            return;
        while (!m_stop) {
            PlacedCall call;
            // Two of three callers are new; the others are in the directory, some blocked.
            call.isNew = random.bounded(3) != 0;
            if (call.isNew) {
                call.number = call.key = QStringLiteral("0999%1").arg(m_nextNumber++);
            } else {
                const KnownCaller &known = m_known[random.bounded(m_known.size())];
                call.number = known.number;
                call.key = known.key;
            }
            if (place(control, call)) {
                std::lock_guard guard(m_lock);
                m_answered.push_back(call);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(random.bounded(2, 12)));
        }
    }

    // One call; the caller hangs up once the program has answered. True when it answered.
    bool place(isdnsim::ControlClient &control, PlacedCall &call)
    {
        if (!control.sendLine("CALL from=" + call.number.toStdString() +
                              " to=4711 cip=16 hangup_after_ms=5000"))
            return false;
        bool answered = false;
        std::string line;
        while (control.readLine(&line, 30000)) {
            const std::string word = line.substr(0, line.find(' '));
            if (!answered && (word == "ALERTED" || word == "REJECTED")) {
                answered = true;
                call.answered = SteadyClock::now();
                if (word == "ALERTED")
                    control.sendLine("HANGUP");
            }
            if (word == "END")
                return answered;
        }
        fail("a call did not end");
    }

    const uint16_t m_port;
    const QList<KnownCaller> &m_known;
    std::atomic<qint64> &m_nextNumber;
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
    std::mutex m_lock;
    std::vector<PlacedCall> m_answered;
};

// ---- the checks ----

// anruf.dat as this program writes it: the header and complete "key=value" lines, each ending in
// CR LF. Its keys, or nothing when the file is broken.
std::optional<QSet<QString>> directoryKeys(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray data = file.readAll();
    if (!data.startsWith("[Anrufer]\r\n") || !data.endsWith("\r\n"))
        return std::nullopt;
    QSet<QString> keys;
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype eq = line.indexOf('=');
        if (!line.endsWith('\r') || eq <= 0 || line.indexOf('\r') != line.size() - 1)
            return std::nullopt;
        keys.insert(QString::fromLatin1(line.first(eq)));
    }
    // The program's own reader agrees.
    const QStringList listed = CallerDirectory(path).ListKeys();
    if (listed.size() != keys.size())
        return std::nullopt;
    return keys;
}

// anruf2.dat: whole records only, each a plausible call; the number of records per caller key.
std::optional<QHash<QString, int>> journalCounts(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QHash<QString, int>();
    const QByteArray data = file.readAll();
    if (data.size() % JournalRecord::kSize != 0)
        return std::nullopt;
    QHash<QString, int> counts;
    for (qsizetype at = 0; at < data.size(); at += JournalRecord::kSize) {
        const JournalRecord r = JournalRecord::fromBytes(data.constData() + at);
        const char *bytes = data.constData() + at;
        if (!(r.CallTime > 40000 && r.CallTime < 73051) || uchar(bytes[8]) > JournalRecord::kMaxKey ||
            uchar(bytes[29]) > JournalRecord::kMaxMsn || r.CallerKey.isEmpty() ||
            r.Msn != QLatin1String("4711"))
            return std::nullopt;
        ++counts[r.CallerKey];
    }
    return counts;
}

// The writer's notes of one run: for each name, the values the settings file may hold after the
// kill, given `previous`, the values found after the kill before. The last write of a name either
// returned (its value stands) or was cut off (its value or the one before it stands).
QHash<QString, QSet<QString>> allowedWriterValues(const QString &log, const QHash<QString, QString> &previous)
{
    QHash<QString, QString> confirmed;
    QHash<QString, QString> begun;
    QFile file(log);
    if (file.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = file.readAll().split('\n');
        for (const QByteArray &raw : lines) {
            const QStringList parts = QString::fromUtf8(raw).split(QLatin1Char(' '));
            if (parts.size() != 3)
                continue; // the last note may be cut off by the kill
            (parts[0] == QLatin1String("C") ? confirmed : begun)[parts[1]] = parts[2];
        }
    }
    QHash<QString, QSet<QString>> allowed;
    for (auto it = previous.cbegin(); it != previous.cend(); ++it)
        allowed[it.key()] = {it.value()};
    for (auto it = begun.cbegin(); it != begun.cend(); ++it) {
        QSet<QString> &values = allowed[it.key()];
        if (confirmed.value(it.key()) == it.value()) {
            values = {it.value()};
        } else {
            if (confirmed.contains(it.key()))
                values = {confirmed.value(it.key())};
            else if (values.isEmpty())
                values = {QString()}; // the name's first write
            values.insert(it.value());
        }
    }
    return allowed;
}

// Zahlwerk.ini parses, holds the program's values, and one allowed value of each of the
// writer's names; `current` becomes the values found.
bool settingsWhole(const QHash<QString, QString> &fixed, const QHash<QString, QSet<QString>> &allowed,
                   QHash<QString, QString> *current)
{
    QSettings settings(Paths::settingsFile(), QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return false;
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it) {
        if (ReadSettingString(it.key()) != it.value())
            return false;
    }
    for (auto it = allowed.cbegin(); it != allowed.cend(); ++it) {
        const QString value = ReadSettingString(it.key());
        if (!it.value().contains(value))
            return false;
        if (!value.isEmpty())
            (*current)[it.key()] = value;
    }
    return true;
}

// Files in the data and settings folders that neither the program nor the benchmark keeps there.
int staleFiles()
{
    static const QSet<QString> kept = {"anruf.dat",  "anruf2.dat", "Zahlwerk.ini",
                                       "writer.log", "dinfo",      "bitmaps",
                                       "senden",     "empfang",    "Zahlwerk.ini.rufwart-lock"};
    int stale = 0;
    for (const QString &folder : {Paths::dataDir(), QFileInfo(Paths::settingsFile()).absolutePath()}) {
        const QStringList names =
            QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString &name : names)
            stale += !kept.contains(name);
    }
    return stale;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--settings-writer"))
        return runSettingsWriter(args[2], args[3].toInt());

    int runs = 200;
    quint32 seed = quint32(std::chrono::system_clock::now().time_since_epoch().count());
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--runs"))
            runs = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--seed"))
            seed = args[i + 1].toUInt();
    }
    QRandomGenerator random(seed);

    QTemporaryDir root;
    UseFoldersIn(root);
    if (qEnvironmentVariableIsSet("KILL9_KEEP")) {
        root.setAutoRemove(false);
        std::fprintf(stderr, "folders in %s\n", qPrintable(root.path()));
    }
    isdnsim::SimProcess sim;
    std::string error;
    if (!sim.start(ISDNSIM_EXE, {"--die-with-parent"}, &error, 20000, true))
        fail(error.c_str());

    const QHash<QString, QString> fixed = {
        {"ISDN_Update20", "1"}, {"ISDN_WriteLog", "1"}, {"ISDN_CreateNull", "1"}, {"ISDN_Beep", "0"}};
    for (auto it = fixed.cbegin(); it != fixed.cend(); ++it)
        WriteSettingString(it.key(), it.value());
    QList<CallerRecord> rows = BenchCallerRows(kDirectoryEntries);
    CallerDirectory(CallerDirectory::defaultPath()).WriteCallerList(rows);
    // The callers the storm knows: the numbers of whole keys.
    QList<KnownCaller> known;
    const CallerResolver resolver = CallerDirectory().BatchResolver();
    for (const CallerRecord &row : std::as_const(rows)) {
        if (!row.Number.endsWith(QLatin1Char('*')))
            known.append({row.Number, resolver.Resolve(row.Number).MatchedKey});
    }

    const QString directoryPath = CallerDirectory::defaultPath();
    const QString journalPath = CallJournal().path();
    const QString writerLog = Paths::dataDir() + "writer.log";
    QSet<QString> keysBefore = *directoryKeys(directoryPath);
    QHash<QString, int> expectedRecords; // per caller key: calls that must be in the journal
    QSet<QString> expectedEntries;       // new callers that must be in the directory
    QHash<QString, QString> writerValues;
    std::atomic<qint64> nextNumber{1000000};
    int torn = 0;
    int lost = 0;

    for (int run = 0; run < runs; ++run) {
        QProcess writer;
        EndsWithBenchmark(writer);
        writer.setStandardOutputFile(QProcess::nullDevice());
        writer.start(QCoreApplication::applicationFilePath(),
                     {"--settings-writer", writerLog, QString::number(seed + quint32(run))});
        QProcess program;
        LaunchProgram(program, sim.port());
        const auto launched = SteadyClock::now();

        // One kill in ten comes while the program starts; the others during the storm.
        Storm storm(sim.port(), known, nextNumber);
        SteadyClock::time_point killAt;
        if (random.bounded(10) == 0) {
            killAt = launched + std::chrono::milliseconds(random.bounded(400));
        } else {
            if (!WaitUntilListening(sim.port(), 30000))
                fail("rufwart does not listen");
            storm.start(seed + quint32(run));
            killAt = SteadyClock::now() + std::chrono::milliseconds(random.bounded(300, 3000));
        }
        std::this_thread::sleep_until(killAt);
        const auto killed = SteadyClock::now();
        ::kill(pid_t(program.processId()), SIGKILL);
        if (writer.processId() > 0)
            ::kill(pid_t(writer.processId()), SIGKILL);
        program.waitForFinished(30000);
        writer.waitForFinished(30000);
        const std::vector<PlacedCall> calls = storm.finish();

        QHash<QString, qint64> ageMs; // of each call's answer at the kill
        for (const PlacedCall &call : calls) {
            ageMs[call.key] =
                std::chrono::duration_cast<std::chrono::milliseconds>(killed - call.answered).count();
            if (killed - call.answered <= std::chrono::seconds(1))
                continue;
            ++expectedRecords[call.key];
            if (call.isNew)
                expectedEntries.insert(call.number);
        }

        // The checks, before the next start touches the files.
        const auto keys = directoryKeys(directoryPath);
        if (!keys) {
            ++torn;
            std::fprintf(stderr, "run %d: anruf.dat is broken\n", run);
            QFile::copy(directoryPath, root.path() + QStringLiteral("/anruf.dat.run%1").arg(run));
        } else {
            int missing = 0;
            for (const QString &key : std::as_const(keysBefore))
                missing += !keys->contains(key);
            for (const QString &key : std::as_const(expectedEntries))
                missing += !keys->contains(key);
            if (missing)
                std::fprintf(stderr, "run %d: %d callers missing from the directory\n", run, missing);
            lost += missing;
            keysBefore = *keys;
            // Found once, not again.
            expectedEntries.clear();
        }
        const auto counts = journalCounts(journalPath);
        if (!counts) {
            ++torn;
            std::fprintf(stderr, "run %d: anruf2.dat is broken\n", run);
        } else {
            int missing = 0;
            qint64 oldest = 0;
            for (auto it = expectedRecords.cbegin(); it != expectedRecords.cend(); ++it) {
                if (counts->value(it.key()) < it.value()) {
                    missing += it.value() - counts->value(it.key());
                    oldest = std::max(oldest, ageMs.value(it.key()));
                }
            }
            if (missing)
                std::fprintf(stderr,
                             "run %d: %d of %d calls missing from the journal, answered up to %lld ms "
                             "before the kill\n",
                             run, missing, int(calls.size()), qlonglong(oldest));
            lost += missing;
            // Later runs measure against what is there now.
            expectedRecords = *counts;
        }
        if (!settingsWhole(fixed, allowedWriterValues(writerLog, writerValues), &writerValues)) {
            ++torn;
            std::fprintf(stderr, "run %d: Zahlwerk.ini is broken\n", run);
            QFile::copy(Paths::settingsFile(), root.path() + QStringLiteral("/Zahlwerk.ini.run%1").arg(run));
            QFile::copy(writerLog, root.path() + QStringLiteral("/writer.log.run%1").arg(run));
        }
        QFile::remove(writerLog);
    }

    std::printf("kill9_runs: %d\n", runs);
    std::printf("kill9_torn_files: %d\n", torn);
    std::printf("kill9_lost_records: %d\n", lost);
    std::printf("kill9_stale_files: %d\n", staleFiles());
    return 0;
}
