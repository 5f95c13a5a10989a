// The program start: one copy per user, the ending by a termination signal and the one-time
// journal conversion. The instance tests start the built executable.
#include "app/Reg32.h"
#include "app/Startup.h"
#include "common/Paths.h"
#include "support/TestEnv.h"

#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QTest>

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
};

QTEST_MAIN(TestMainStartup)
#include "test_main_startup.moc"
