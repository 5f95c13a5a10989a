// The program start: one copy per user, the ending by a termination signal and the one-time
// journal conversion. The instance tests start the built executable.
#include "calls/CallJournal.h"
#include "common/Paths.h"
#include "platform/Startup.h"
#include "settings/SettingsStore.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>

#include <unistd.h>

class TestMainStartup : public QObject
{
    Q_OBJECT
    std::unique_ptr<TestEnv> env;

    QProcessEnvironment programEnvironment() const
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return e;
    }

private slots:
    void init()
    {
        env = std::make_unique<TestEnv>();
        // The started copies stay away from CAPI; these tests are about starting and ending.
        WriteSettingFlag(QStringLiteral("ISDN_UseExtern"), false);
        WriteSettingFlag(QStringLiteral("ISDN_Update20"), true);
    }
    void cleanup() { env.reset(); }

    void secondCopyEndsAtOnceAndFirstEndsOnSignal()
    {
        QProcess first;
        first.setProcessEnvironment(programEnvironment());
        first.start(QStringLiteral(RUFWART_EXE), {});
        QVERIFY(first.waitForStarted());
        // The first copy holds the lock once it is up.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Startup::instanceLockPath()), 60000);
        QCOMPARE(first.state(), QProcess::Running);

        QProcess second;
        second.setProcessEnvironment(programEnvironment());
        second.start(QStringLiteral(RUFWART_EXE), {});
        QVERIFY(second.waitForFinished(60000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
        QCOMPARE(first.state(), QProcess::Running);

        // A termination signal ends the first copy in order, and the lock goes with it.
        first.terminate();
        QVERIFY(first.waitForFinished(60000));
        QCOMPARE(first.exitStatus(), QProcess::NormalExit);
        QCOMPARE(first.exitCode(), 0);
        QLockFile lock(Startup::instanceLockPath());
        QVERIFY(lock.tryLock(0));
    }

    void journalConversionRunsOnce()
    {
        WriteSettingString(QStringLiteral("ISDN_Update20"), QString());
        const QString journal = Paths::dataDir() + QStringLiteral("anruf2.dat");
        const QString run = QString::fromLatin1(kRunKey);
        auto writeOldJournal = [&] {
            QByteArray bytes;
            for (const char *key : {"0301234567", "0407654321"}) {
                JournalRecord record;
                record.CallTime = JournalRecord::toCallTime(QDateTime(QDate(1998, 3, 1), QTime(12, 0)));
                record.CallerKey = QString::fromLatin1(key);
                bytes += record.toBytes().left(29) + QByteArray(3, '\0'); // the older 32-byte form
            }
            QFile file(journal);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(bytes);
        };
        // Runs the program until its main window has loaded the options (it then rewrites the
        // autostart entry with its own path), and ends it.
        auto runOnce = [&] {
            WriteRegString(RegRoot::CurrentUser, run, QStringLiteral("Rufwart"),
                           QStringLiteral("/old/rufwart"));
            QProcess program;
            program.setProcessEnvironment(programEnvironment());
            program.start(QStringLiteral(RUFWART_EXE), {});
            QVERIFY(program.waitForStarted());
            QTRY_COMPARE_WITH_TIMEOUT(ReadRegString(RegRoot::CurrentUser, run, QStringLiteral("Rufwart"), {}),
                                      QFileInfo(QStringLiteral(RUFWART_EXE)).absoluteFilePath(), 60000);
            program.terminate();
            QVERIFY(program.waitForFinished(60000));
            QCOMPARE(program.exitCode(), 0);
        };

        writeOldJournal();
        runOnce();
        QVERIFY(ReadSettingFlag(QStringLiteral("ISDN_Update20")));
        QCOMPARE(QFileInfo(journal).size(), 2 * JournalRecord::kSize);

        // Set: the next start leaves the journal alone.
        writeOldJournal();
        runOnce();
        QCOMPARE(QFileInfo(journal).size(), 2 * JournalRecord::kOldSize);
    }

    void lockOfADeadCopyIsTakenOver()
    {
        // A copy that was killed leaves its lock file behind; the next start must not be locked out.
        QProcess first;
        first.setProcessEnvironment(programEnvironment());
        first.start(QStringLiteral(RUFWART_EXE), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(Startup::instanceLockPath()), 60000);
        first.kill();
        QVERIFY(first.waitForFinished(60000));
        QVERIFY(QFileInfo::exists(Startup::instanceLockPath()));
        QVERIFY(Startup::acquireSingleInstance() != nullptr);
    }

    // Without XDG_RUNTIME_DIR the lock lives in a folder of the shared temporary folder, which
    // any local user could have made first. The program makes it private, and refuses one that
    // is not the user's own or that others may write to, saying why.
    void lockFolderInTheSharedTemporaryFolderMustBeOurs()
    {
        const QByteArray tmpBefore = qgetenv("TMPDIR");
        auto restoreTmp = qScopeGuard([&] { qputenv("TMPDIR", tmpBefore); });
        const QString tmp = env->root() + QStringLiteral("/tmp");
        QVERIFY(QDir().mkpath(tmp));
        qputenv("TMPDIR", tmp.toLocal8Bit());
        qunsetenv("XDG_RUNTIME_DIR");

        const QString folder = QFileInfo(Startup::instanceLockPath()).path();
        QCOMPARE(QFileInfo(folder).path(), tmp);
        QString refusal;
        {
            const auto lock = Startup::acquireSingleInstance(&refusal);
            QVERIFY2(lock != nullptr, qPrintable(refusal));
        }
        QCOMPARE(QFile::permissions(folder) & 0x0077, QFileDevice::Permissions()); // group, others: nothing
        QVERIFY(refusal.isEmpty());

        // Writable by others.
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7777)));
        QVERIFY(Startup::acquireSingleInstance(&refusal) == nullptr);
        QVERIFY2(refusal.contains(folder) && refusal.contains(QStringLiteral("beschreibbar")),
                 qPrintable(refusal));
        QVERIFY(QFile::setPermissions(folder, QFileDevice::Permissions(0x7700)));

        // A link in its place, even to a folder of ours.
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(QFile::link(env->runtimeDir(), folder));
        refusal.clear();
        QVERIFY(Startup::acquireSingleInstance(&refusal) == nullptr);
        QVERIFY2(refusal.contains(QStringLiteral("kein Ordner")), qPrintable(refusal));
        QVERIFY(QFile::remove(folder));

        // Another user's folder (as root: one handed to "nobody").
        QString foreign = QDir::rootPath();
        if (::geteuid() == 0) {
            QVERIFY(QDir().mkdir(folder));
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
            foreign = folder;
        }
        refusal.clear();
        QVERIFY2(Startup::unsafeLockFolder(foreign).contains(QStringLiteral("anderen Benutzer")),
                 qPrintable(foreign));
        if (::geteuid() == 0) {
            QVERIFY(Startup::acquireSingleInstance(&refusal) == nullptr);
            QVERIFY(refusal.contains(folder));
        }
    }
};

QTEST_MAIN(TestMainStartup)
#include "TestMainStartup.moc"
