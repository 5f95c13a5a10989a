// A directory program that misbehaves on purpose, for the look-up's failure tests. Started like
// the real one (as dinfowin.exe or dinfo32.exe with "/DDE" in its folder), it reads what to do
// from the file "fake-mode" in that folder: a first line naming the behaviour, and for "write"
// the bytes to write as the answer file after it.
//
//   echo        answers every request with "NA: Name-<number>"
//   write       writes the given bytes as dinfo.prz for every request
//   hang        takes the connection and every request, and never answers
//   crash       dies when a request comes
//   crashfirst  dies at the first request it ever gets (noted as the file "crashed" in its
//               folder), and answers as echo when started again
//   refuse      refuses every request
//   late        answers a request first with the answer to the one before, then with its own
//   directory   puts a folder where the answer file belongs (it changes, and cannot be read)
//   noendpoint  runs without ever serving the conversation
//   fail        ends at once with an error
#include "common/Utils.h"
#include "dinfo/DInfoAnswer.h"
#include "dinfo/DInfoClient.h"
#include "dinfo/DdeServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const QString folder = QDir::currentPath() + QLatin1Char('/');
    QFile modeFile(folder + QStringLiteral("fake-mode"));
    if (!modeFile.open(QIODevice::ReadOnly))
        return 2;
    const QByteArray all = modeFile.readAll();
    const qsizetype eol = all.indexOf('\n');
    const QByteArray mode = (eol < 0 ? all : all.left(eol)).trimmed();
    const QByteArray payload = eol < 0 ? QByteArray() : all.mid(eol + 1);
    if (mode == "fail")
        return 3;
    if (mode == "noendpoint") {
        for (;;)
            QThread::sleep(1);
    }

    const QString name = QFileInfo(QString::fromLocal8Bit(argv[0])).fileName();
    const DInfoVersion &version = DInfoVersion::of(name == QLatin1String("dinfo32.exe") ? 1 : 0);
    DdeServer server;
    QString error;
    if (!server.Listen(QString::fromLatin1(version.Service), QString::fromLatin1(version.Topic), &error))
        return 4;
    const QString answerFile = folder + QString::fromLatin1(DInfoAnswer::kFileName);
    auto answerFor = [](const QString &command) {
        return DInfoAnswer::FileBytes(command, QStringLiteral("NA: Name-") + command.mid(2) +
                                                   QStringLiteral(";VN: ;ZUS: ;STR: "));
    };
    QString previous = QStringLiteral("R;0");
    server.OnExecute = [&](const QString &command, QString *refusal) {
        if (mode == "hang") {
            for (;;)
                QThread::sleep(1);
        }
        if (mode == "crash")
            std::abort();
        if (mode == "crashfirst" && !QFile::exists(folder + QStringLiteral("crashed"))) {
            QFile(folder + QStringLiteral("crashed")).open(QIODevice::WriteOnly);
            std::abort();
        }
        if (mode == "refuse") {
            *refusal = QStringLiteral("kaputt");
            return false;
        }
        if (mode == "directory") {
            QFile::remove(answerFile);
            QDir().mkdir(answerFile);
        } else if (mode == "write") {
            WriteFileAtomic(answerFile, payload);
        } else if (mode == "late") {
            WriteFileAtomic(answerFile, answerFor(previous));
            QTimer::singleShot(100, [&, command] { WriteFileAtomic(answerFile, answerFor(command)); });
        } else {
            WriteFileAtomic(answerFile, answerFor(command));
        }
        previous = command;
        return true;
    };
    server.OnRequest = [](const QString &) { return std::optional<QString>(QString()); };
    server.OnClose = [] { QCoreApplication::quit(); };
    return app.exec();
}
