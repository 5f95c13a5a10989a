// The settings file "Zahlwerk.ini" as another program or an editor may leave it, and the
// autostart entry: reading never fails where the program relies on it not failing; a write is
// refused without a trace, or reads back as written and leaves every other value as it was.
//
// The settings are read through QSettings, which only reads files: each input is written to a
// settings file in a folder of its own (in memory under /dev/shm where there is one).

#include "FuzzSupport.h"

#include "common/Errors.h"
#include "common/Paths.h"
#include "settings/SettingsStore.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <unistd.h>

namespace {

QString g_folder;
qint64 g_stamp = 0;

void removeFolder()
{
    QDir(g_folder).removeRecursively();
}

// The settings file with `bytes`, dated apart from every earlier input: QSettings takes a file of
// the same size and time for the one it has already parsed.
void putSettings(const QByteArray &bytes)
{
    QFile file(Paths::settingsFile());
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
    file.setFileTime(QDateTime::fromMSecsSinceEpoch(1'000'000'000'000 + ++g_stamp),
                     QFileDevice::FileModificationTime);
}

QByteArray settingsBytes()
{
    QFile file(Paths::settingsFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What a name reads as, by the reads that must not fail (a flag reads as an integer; a string
// read may say the value is no text: IoError and nothing else).
QString readAll(const QString &name)
{
    ReadSettingInteger(name);
    const QString text = ReadSettingText(name);
    try {
        FUZZ_CHECK(ReadSettingString(name) == text);
    } catch (const IoError &) {
        FUZZ_CHECK(text.isEmpty());
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::QuietQtMessages();
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QByteArray pattern = (base + QStringLiteral("/rufwart-fuzz-settings-XXXXXX")).toLocal8Bit();
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    g_folder = QString::fromLocal8Bit(pattern);
    qputenv("HOME", pattern);
    qputenv("XDG_CONFIG_HOME", pattern + "/config");
    qputenv("XDG_DATA_HOME", pattern + "/data");
    FUZZ_CHECK(QDir().mkpath(g_folder + QStringLiteral("/config/Elbwerk")));
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QByteArray bytes = QByteArray::fromStdString(in.ConsumeRandomLengthString(size));
    putSettings(bytes);

    QStringList names = {QStringLiteral("ISDN_Msn")};
    for (int i = in.ConsumeIntegralInRange(0, 3); i > 0; --i)
        names << QString::fromStdString(in.ConsumeRandomLengthString(40));
    QStringList values;
    for (const QString &name : std::as_const(names))
        values << readAll(name);

    AutostartPathOf(QByteArray::fromStdString(in.ConsumeRandomLengthString(400)));

    if (in.ConsumeIntegral<uint8_t>() % 4 != 0)
        return 0;
    const QString name = in.ConsumeBool()
                             ? names.value(in.ConsumeIntegralInRange<qsizetype>(0, names.size() - 1))
                             : QString::fromStdString(in.ConsumeRandomLengthString(40));
    const QString text = QString::fromStdString(in.ConsumeRemainingBytesAsString());
    try {
        WriteSettingString(name, text);
    } catch (const InvalidInput &) {
        FUZZ_CHECK(settingsBytes() == bytes);
        return 0;
    } catch (const IoError &) {
        FUZZ_CHECK(settingsBytes() == bytes);
        return 0;
    }
    FUZZ_CHECK(ReadSettingString(name) == text);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (names[i].compare(name, Qt::CaseInsensitive) != 0)
            FUZZ_CHECK(readAll(names[i]) == values[i]);
    }
    return 0;
}
