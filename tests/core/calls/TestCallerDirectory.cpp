#include "calls/CallerDirectory.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"
#include "support/WriteFailure.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat st
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

class CallerDirectoryTest : public ::testing::Test
{
protected:
    TestEnv env;
    QString file = Paths::dataDir() + "anruf.dat";

    void givenFile(const QByteArray &bytes) { ASSERT_TRUE(writeBytes(file, bytes)); }
    // As another program saves: the whole file replaced in one step, never seen half-written.
    void replaceFile(const QByteArray &bytes)
    {
        const QString temp = file + ".anders";
        ASSERT_TRUE(writeBytes(temp, bytes));
        ASSERT_EQ(::rename(QFile::encodeName(temp).constData(), QFile::encodeName(file).constData()), 0);
    }
};

} // namespace

// Texts, file bytes and rows as the failure messages show them.
void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << '"' << bytes.toStdString() << '"';
}
void PrintTo(const CallerRecord &r, std::ostream *os)
{
    *os << r.Number.toStdString() << "=" << (r.Blocked ? "T#" : "F#") << r.Name.toStdString();
}

TEST_F(CallerDirectoryTest, ResolvesByPrefixInFileOrder)
{
    givenFile("[Anrufer]\r\n"
              "03*=F#Berlin grob\r\n"
              "030=F#Berlin fein\r\n"
              "0*=F#Alle\r\n"
              "5=F#Fuenf\r\n"
              "0401234=T#Sperre\r\n"
              "089*=F#Muenchen\r\n"
              "0511=Meier\r\n"
              "0612=F#\r\n");
    CallerDirectory dir(file);

    ResolvedCaller r = dir.ResolveCaller("0301234567");
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.MatchedKey, "03*");
    EXPECT_EQ(r.Text, "F#Berlin grob");
    EXPECT_FALSE(r.Blocked);

    r = dir.ResolveCaller("0891111");
    EXPECT_EQ(r.MatchedKey, "089*");
    EXPECT_EQ(r.Text, "F#Muenchen");

    // A key without "*" matches every longer number that begins with it, not a shorter one.
    r = dir.ResolveCaller("04012345");
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.MatchedKey, "0401234");
    EXPECT_TRUE(r.Blocked);
    r = dir.ResolveCaller("040123");
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(r.Text, "040123");
    EXPECT_FALSE(r.Blocked);

    // Prefixes shorter than two characters never match.
    r = dir.ResolveCaller("5555");
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(r.Text, "5555");

    // An older value without marker is the whole name; an entry without a name shows the number.
    r = dir.ResolveCaller("05119");
    EXPECT_EQ(r.Text, "Meier");
    EXPECT_FALSE(r.Blocked);
    r = dir.ResolveCaller("0612");
    EXPECT_TRUE(r.Found);
    EXPECT_EQ(r.Text, "0612");
}

TEST_F(CallerDirectoryTest, ShortAndEmptyNumbersAreAnalog)
{
    CallerDirectory dir(file);
    ResolvedCaller r = dir.ResolveCaller("");
    EXPECT_EQ(r.Text, "Analog");
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(r.Number, "0");
    dir.AddCaller("", "");
    EXPECT_EQ(readBytes(file), "[Anrufer]\r\n0=F#\r\n");
    r = dir.ResolveCaller("");
    EXPECT_EQ(r.Text, "Analog");
    EXPECT_FALSE(r.Found);
    EXPECT_EQ(dir.ResolveCaller("7").Text, "Analog");
    EXPECT_FALSE(dir.ResolveCaller("7").Found);
}

TEST_F(CallerDirectoryTest, BlockedEntryWithoutNameStillBlocks)
{
    givenFile("[Anrufer]\r\n0301234=T#\r\n0401234=Al\r\n");
    CallerDirectory dir(file);
    const ResolvedCaller r = dir.ResolveCaller("0301234");
    EXPECT_TRUE(r.Found);
    EXPECT_TRUE(r.Blocked);
    EXPECT_EQ(r.Text, "0301234");
    // A two-letter name is a name, not an empty entry.
    EXPECT_EQ(dir.ResolveCaller("0401234").Text, "Al");
}

TEST_F(CallerDirectoryTest, WindowsFileKeepsEveryOtherLineByteForByte)
{
    // Written on Windows: CR LF, a blank line before each header, a comment, a duplicate key,
    // another section after [Anrufer], a name with umlauts in code page 850.
    const QByteArray head = "; Rufnummern\r\n"
                            "[Optionen]\r\n"
                            "Farbe=blau\r\n"
                            "\r\n"
                            "[Anrufer]\r\n"
                            "0301234567=F#M\x81ller\r\n"
                            "; Firma\r\n"
                            "  0401111 = T#Werbung  \r\n"
                            "0301234567=F#Doppelt\r\n";
    const QByteArray tail = "\r\n"
                            "[Sonstiges]\r\n"
                            "0301234567=F#Falsch\r\n";
    givenFile(head + tail);
    CallerDirectory dir(file);

    ResolvedCaller r = dir.ResolveCaller("0301234567");
    EXPECT_EQ(r.Text, QString::fromUtf8("F#Müller"));
    r = dir.ResolveCaller("04011119");
    EXPECT_EQ(r.Text, "T#Werbung");
    EXPECT_TRUE(r.Blocked);
    EXPECT_EQ(dir.ListKeys(), QStringList({"0301234567", "0401111"}));

    dir.AddCaller("0899999", "0899999");
    EXPECT_EQ(readBytes(file), head + "0899999=F#0899999\r\n" + tail);

    dir.WriteCaller("0401111", QString::fromUtf8("Gäste"), false);
    QByteArray expected = head + "0899999=F#0899999\r\n" + tail;
    expected.replace("  0401111 = T#Werbung  \r\n", "0401111=F#G\x84ste\r\n");
    EXPECT_EQ(readBytes(file), expected);
    EXPECT_EQ(dir.ReadValue("0401111"), QString::fromUtf8("F#Gäste"));
}

TEST_F(CallerDirectoryTest, KeysIgnoreCaseAndKeepTheirSpelling)
{
    CallerDirectory dir(file);
    dir.WriteValue("Abc", "F#Eins");
    dir.WriteValue("ABC", "F#Zwei");
    EXPECT_EQ(readBytes(file), "[Anrufer]\r\nAbc=F#Zwei\r\n");
    EXPECT_EQ(dir.ReadValue("aBC"), "F#Zwei");

    // An unchanged value leaves the file alone.
    const ino_t before = inodeOf(file);
    dir.WriteValue("abc", "F#Zwei");
    EXPECT_EQ(inodeOf(file), before);

    // A file that uses LF keeps using it; values that reading would strip are quoted.
    givenFile("[Anrufer]\n1234=F#x\n");
    dir.WriteValue("5678", "  Leer  ");
    dir.WriteValue("9999", "'zitiert'");
    EXPECT_EQ(readBytes(file), "[Anrufer]\n1234=F#x\n5678=\"  Leer  \"\n9999=\"'zitiert'\"\n");
    EXPECT_EQ(dir.ReadValue("5678"), "  Leer  ");
    EXPECT_EQ(dir.ReadValue("9999"), "'zitiert'");

    // Lines ended by a lone CR, as old Macintosh editors wrote them.
    givenFile("[Anrufer]\r0301=F#Mac\r\r\n[X]\n0302=F#Nein\n");
    EXPECT_EQ(dir.ReadValue("0301"), "F#Mac");
    EXPECT_EQ(dir.ListKeys(), QStringList({"0301"}));
}

// Found by fuzzing: a listed key with a non-breaking space in front read the value of the key
// without it.
TEST_F(CallerDirectoryTest, EveryListedKeyReadsItsOwnValue)
{
    givenFile("[Anrufer]\r\n030=F#Berlin\r\n\xA0"
              "030=F#Anders\r\n\x0B"
              "040=F#Hamburg\r\n");
    CallerDirectory dir(file);
    ASSERT_EQ(dir.ListKeys(), QStringList({"030",
                                           QString::fromUtf8("\u00A0"
                                                             "030"),
                                           "\v040"}));
    EXPECT_EQ(dir.ReadValue(QString::fromUtf8("\u00A0"
                                              "030")),
              "F#Anders");
    EXPECT_EQ(dir.ReadValue("\v040"), "F#Hamburg");
    EXPECT_EQ(dir.ReadValue("040"), "");
    EXPECT_EQ(dir.ReadValue(" \t030 "), "F#Berlin");
}

TEST_F(CallerDirectoryTest, RefusesKeysAndValuesThatWouldCorruptTheFile)
{
    givenFile("[Anrufer]\r\n0301=F#A\r\n");
    const QByteArray before = readBytes(file);
    CallerDirectory dir(file);
    for (const QString &key : QStringList{"", "  ", "03\n01", "03\r01", "03=01", "[x]", "03]", ";0301",
                                          " 0301", "0301 ", QString::fromUtf8("03€\u4e2d")}) {
        EXPECT_THROW(dir.WriteCaller(key, "Name", false), InvalidInput) << key.toStdString();
        if (!key.isEmpty()) { // an empty number is learnt as "0"
            EXPECT_THROW(dir.QueueAddCaller(key, "Name"), InvalidInput) << key.toStdString();
        }
    }
    EXPECT_THROW(dir.WriteCaller("0302", "Zeile\r\n0303=F#Neu", false), InvalidInput);
    EXPECT_THROW(dir.WriteCaller("0302", QString(253, 'n'), false), InvalidInput);
    EXPECT_THROW(dir.WriteCallerList({{"0302", "ok", false}, {"0303", "a\nb", false}}), InvalidInput);
    EXPECT_EQ(readBytes(file), before);

    // 254 characters is the longest value that may be written ...
    dir.WriteCaller("0302", QString(252, 'n'), false);
    EXPECT_EQ(dir.ReadValue("0302").size(), 254);
    // ... and a longer one written by someone else is read back whole.
    givenFile("[Anrufer]\r\n0304=F#" + QByteArray(400, 'l') + "\r\n");
    EXPECT_EQ(dir.ReadValue("0304").size(), 402);
    EXPECT_EQ(dir.ReadCallerList(CallerSortOrder::ByName).value(0).Name.size(), 400);
}

TEST_F(CallerDirectoryTest, ListsEveryKeyOfALargeDirectory)
{
    QByteArray bytes = "[Anrufer]\r\n";
    for (int i = 0; i < 3000; ++i)
        bytes += "0301" + QByteArray::number(1000000 + i) + "=F#N" + QByteArray::number(i) + "\r\n";
    givenFile(bytes);
    CallerDirectory dir(file);
    const QStringList keys = dir.ListKeys();
    ASSERT_EQ(keys.size(), 3000); // far beyond the 8,192 bytes a Windows listing holds
    EXPECT_EQ(keys.last(), "03011002999");
    EXPECT_EQ(dir.ResolveCaller("03011002999").Text, "F#N2999");
}

// Case-insensitive in every locale: in the C locale as in the user's, where "ä" stands beside "a"
// and "ß" as "ss". The test sets both itself, so that it asks nothing of the machine's locale.
TEST_F(CallerDirectoryTest, CallerListSortsByNameOrNumber)
{
    givenFile("[Anrufer]\r\n"
              "0402=F#meier\r\n"
              "0401=T#Meier\r\n"
              "0300=F#\xe1" // "ß" in code page 850
              "chen\r\n"
              "0500=F#\x8e" // "Ä" in code page 850
              "rger\r\n"
              "0100=F#albers\r\n"
              "0600=F#Bauer\r\n"
              "0200=Zander\r\n");
    CallerDirectory dir(file);
    const CallerRecord albers{"0100", "albers", false}, aerger{"0500", QString::fromUtf8("Ärger"), false},
        bauer{"0600", "Bauer", false}, meierBlocked{"0401", "Meier", true}, meier{"0402", "meier", false},
        sschen{"0300", QString::fromUtf8("ßchen"), false}, zander{"0200", "Zander", false};
    struct Case
    {
        QLocale locale;
        QList<CallerRecord> byName;
    };
    const Case cases[] = {
        // Without a language of its own: letters without regard to case, the others after "z".
        {QLocale::c(), {albers, bauer, meierBlocked, meier, zander, sschen, aerger}},
        {QLocale(QLocale::German, QLocale::Germany),
         {albers, aerger, bauer, meierBlocked, meier, sschen, zander}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        QLocale::setDefault(c.locale);
        EXPECT_EQ(dir.ReadCallerList(CallerSortOrder::ByName), c.byName);
        const QList<CallerRecord> byNumber = dir.ReadCallerList(CallerSortOrder::ByNumber);
        ASSERT_EQ(byNumber.size(), 7);
        EXPECT_EQ(byNumber.first().Number, "0100");
        EXPECT_EQ(byNumber.last().Number, "0600");
    }
    QLocale::setDefault(QLocale::c());
}

TEST_F(CallerDirectoryTest, CallerListRewriteIsOneReplacement)
{
    const QByteArray other = "[Optionen]\r\nFarbe=blau\r\n";
    givenFile("[Anrufer]\r\n0301=F#Alt\r\n0302=F#Weg\r\n" + other);
    CallerDirectory dir(file);
    dir.WriteCallerList({{"0309", "Zuletzt", CallerDirectory::BlockedFromText("ja")},
                         {"", "geloescht", false},
                         {"0301", "Erst", false},
                         {"0309", "Spaeter", false}});
    EXPECT_EQ(readBytes(file), other + "[Anrufer]\r\n0309=F#Spaeter\r\n0301=F#Erst\r\n");
    EXPECT_TRUE(CallerDirectory::BlockedFromText("ja"));
    EXPECT_FALSE(CallerDirectory::BlockedFromText(""));

    // A save that fails part-way leaves the old file whole and names it.
    const QByteArray before = readBytes(file);
    QList<CallerRecord> many;
    for (int i = 0; i < 500; ++i)
        many.append({QStringLiteral("0401%1").arg(i), QStringLiteral("Name %1").arg(i), i % 2 == 0});
    {
        FileSizeLimit limit(before.size() + 100);
        try {
            dir.WriteCallerList(many);
            FAIL() << "the save should have failed";
        } catch (const IoError &e) {
            EXPECT_EQ(e.message(), QStringLiteral("nach %1 kann nicht geschrieben werden").arg(file));
            EXPECT_EQ(e.path(), file);
        }
    }
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(QDir(Paths::dataDir()).entryList(QDir::Files), QStringList({"anruf.dat"}));
}

TEST_F(CallerDirectoryTest, UnwritablePlaceRaisesAndKeepsTheFile)
{
    // Tests run as root, past every permission: a folder that is a regular file stops anyone.
    ASSERT_TRUE(writeBytes(env.root() + "/plain", "x"));
    CallerDirectory nowhere(env.root() + "/plain/anruf.dat");
    EXPECT_EQ(nowhere.ResolveCaller("0301").Text, "0301");
    try {
        nowhere.AddCaller("0301", "A");
        FAIL() << "the write should have failed";
    } catch (const IoError &e) {
        EXPECT_TRUE(e.message().contains(env.root() + "/plain/anruf.dat"));
    }

    // A folder standing where the file should be.
    QDir().mkpath(env.root() + "/dirfile/anruf.dat");
    CallerDirectory overDir(env.root() + "/dirfile/anruf.dat");
    EXPECT_THROW(overDir.WriteCaller("0301", "A", true), IoError);

    givenFile("[Anrufer]\r\n0301=F#A\r\n");
    const QByteArray before = readBytes(file);
    CallerDirectory dir(file);
    {
        FileSizeLimit limit(10);
        EXPECT_THROW(dir.WriteCaller("0302", "B", false), IoError);
    }
    EXPECT_EQ(readBytes(file), before);
}

TEST_F(CallerDirectoryTest, SeesChangesMadeByOthersAtOnce)
{
    CallerDirectory dir(file);
    CallerDirectory other(file);
    EXPECT_FALSE(dir.ResolveCaller("0301234").Found);
    other.WriteCaller("0301", "Andere", true);
    EXPECT_TRUE(dir.ResolveCaller("0301234").Blocked);
    givenFile("[Anrufer]\r\n0301=F#Von Hand\r\n");
    EXPECT_EQ(dir.ReadValue("0301"), "F#Von Hand");
    dir.EraseAll();
    EXPECT_EQ(readBytes(file), "");
    EXPECT_TRUE(dir.ListKeys().isEmpty());
}

TEST_F(CallerDirectoryTest, KeptReadNeverHidesAChangeByAnotherWriter)
{
    // Another program rewrites the file in place to the same size, at once after a look-up (within
    // one tick of the file system's clock), and even sets its modification time back.
    const auto rewriteInPlace = [&](const QByteArray &bytes) {
        struct stat before
        {
        };
        ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &before), 0);
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_EQ(f.write(bytes), bytes.size());
        f.close();
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
        EXPECT_EQ(inodeOf(file), before.st_ino);
    };
    givenFile("[Anrufer]\r\n0301=F#Alt\r\n");
    CallerDirectory dir(file);
    EXPECT_EQ(dir.ResolveCaller("0301777").Text, "F#Alt");
    rewriteInPlace("[Anrufer]\r\n0301=F#Neu\r\n");
    EXPECT_EQ(dir.ResolveCaller("0301777").Text, "F#Neu");
    rewriteInPlace("[Anrufer]\r\n0302=F#Neu\r\n");
    EXPECT_FALSE(dir.ResolveCaller("0301777").Found);

    // Once the file has settled, a read is kept as it is; the next change is still seen.
    QThread::msleep(2100);
    EXPECT_TRUE(dir.ResolveCaller("0302777").Found);
    EXPECT_TRUE(dir.ResolveCaller("0302777").Found);
    rewriteInPlace("[Anrufer]\r\n0302=T#Neu\r\n");
    EXPECT_TRUE(dir.ResolveCaller("0302777").Blocked);

    // The program's own saves, and another writer's replacement right after one.
    dir.WriteCaller("0303", "Selbst", false);
    EXPECT_EQ(dir.ReadValue("0303"), "F#Selbst");
    CallerDirectory(file).WriteCaller("0303", "Fremd", false);
    EXPECT_EQ(dir.ReadValue("0303"), "F#Fremd");
    ASSERT_TRUE(QFile::remove(file));
    EXPECT_TRUE(dir.ListKeys().isEmpty());
}

TEST_F(CallerDirectoryTest, QueuedAdditionsAreSeenAtOnceAndNeverLost)
{
    givenFile("[Anrufer]\r\n0301=F#A\r\n");
    std::atomic<int> errors{0};
    {
        CallerDirectory dir(file);
        dir.SetWriteErrorHandler([&](const IoError &e) {
            EXPECT_EQ(e.path(), file);
            ++errors;
        });
        {
            // The disk refuses: the worker cannot save, but the additions stay visible.
            FileSizeLimit limit(5);
            dir.QueueAddCaller("0402", "Neu");
            dir.QueueAddCaller("0403", "Neuer");
            // A key the directory holds is not learned again, nor a key learned already.
            dir.QueueAddCaller("0301", "Ueberschrieben");
            dir.QueueAddCaller("0403", "Zweimal");
            EXPECT_EQ(dir.ListKeys(), QStringList({"0301", "0402", "0403"}));
            EXPECT_EQ(dir.ResolveCaller("04031").Text, "F#Neuer");
            EXPECT_EQ(dir.ReadValue("0301"), "F#A");
            EXPECT_EQ(dir.ReadCallerList(CallerSortOrder::ByNumber).size(), 3);
            EXPECT_THROW(dir.Flush(), IoError);
            EXPECT_TRUE(dir.HasPending());
            EXPECT_EQ(readBytes(file), "[Anrufer]\r\n0301=F#A\r\n");
        }
        // A synchronous write carries the queue along, in order.
        dir.WriteCaller("0404", "Sofort", false);
        EXPECT_FALSE(dir.HasPending());
        EXPECT_EQ(readBytes(file), "[Anrufer]\r\n0301=F#A\r\n0402=F#Neu\r\n0403=F#Neuer\r\n"
                                   "0404=F#Sofort\r\n");
        for (int i = 0; i < 50; ++i)
            dir.QueueAddCaller(QStringLiteral("0500%1").arg(i), QString());
        // Destroying the directory writes what is still queued.
    }
    CallerDirectory reread(file);
    EXPECT_EQ(reread.ListKeys().size(), 54);
    EXPECT_EQ(reread.ReadValue("050049"), "F#");
    EXPECT_EQ(reread.ListKeys().last(), "050049");
}

TEST_F(CallerDirectoryTest, KeysThatNeverMatchAreLearnedOnlyWhenAbsent)
{
    // The user named the calls without number ("0") and a one-digit extension; the ring handler
    // never finds these keys, and learning them must not replace the names.
    const QByteArray named = "[Anrufer]\r\n0=F#Ohne Nummer\r\n7=T#Pforte\r\n";
    givenFile(named);
    CallerDirectory dir(file);
    std::atomic<int> refused{0};
    dir.SetWriteErrorHandler([&](const IoError &) { ++refused; });
    {
        // The disk refuses the learned entry (longer than the limit), and the user's own entry
        // of that key is written meanwhile: the entry written stands.
        FileSizeLimit limit(named.size() + 12);
        dir.QueueAddCaller("", "");
        dir.QueueAddCaller("7", "7");
        dir.QueueAddCaller("8", "8888888888888888");
        ASSERT_TRUE(WaitFor([&] { return refused > 0; }, 10000));
        replaceFile(named + "8=F#Lager\r\n");
    }
    dir.Flush();
    EXPECT_EQ(readBytes(file), named + "8=F#Lager\r\n");
}

TEST_F(CallerDirectoryTest, ASaveStartsOverWhenAnotherWriterReplacedTheFile)
{
    // The worker reads the directory through a pipe, which this test holds open until another
    // writer has replaced the file: saving what the worker read would undo that writer's entry.
    CallerDirectory dir(file);
    ASSERT_TRUE(QDir().mkpath(Paths::dataDir()));
    ASSERT_EQ(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
    dir.QueueAddCaller("0402", "Gelernt");
    const int pipe =
        ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CLOEXEC); // waits for the worker
    ASSERT_GE(pipe, 0);
    const QByteArray read = "[Anrufer]\r\n0301=F#Alt\r\n";
    ASSERT_EQ(::write(pipe, read.constData(), size_t(read.size())), read.size());
    replaceFile("[Anrufer]\r\n0301=F#Alt\r\n0302=F#Eigen\r\n");
    ::close(pipe);
    dir.Flush();
    EXPECT_EQ(readBytes(file), "[Anrufer]\r\n0301=F#Alt\r\n0302=F#Eigen\r\n0402=F#Gelernt\r\n");
}

TEST_F(CallerDirectoryTest, BatchResolverAnswersAsResolveCaller)
{
    // Every kind of key: groups, short prefixes, duplicates in other case, a group key whose
    // read-back key is missing, an older value, empty and two-letter names, blocked entries,
    // code page 850, and additions still queued.
    givenFile("[Anrufer]\r\n"
              "03*=F#Berlin grob\r\n"
              "030=F#Berlin fein\r\n"
              "0*=F#Alle\r\n"
              "5=F#Fuenf\r\n"
              "0=F#Ohne\r\n"
              "0401234=T#Sperre\r\n"
              "0401*x=F#Gruppe ohne Stern\r\n"
              "089*=F#M\x81nchen\r\n"
              "0511=Meier\r\n"
              "0612=F#\r\n"
              "0613=T#\r\n"
              "0614=F#Al\r\n"
              "ab12=F#klein\r\n"
              "AB12=F#gross\r\n"
              "0701=F#Erst\r\n"
              "0701=F#Doppelt\r\n");
    CallerDirectory dir(file);
    {
        FileSizeLimit limit(10); // the additions stay queued
        dir.QueueAddCaller("0911", "Neu");
        dir.QueueAddCaller("09*", "Neue Gruppe");
    }
    const QStringList numbers = {"",        "0",       "7",        "5555",    "0301234567", "0302",
                                 "03",      "0401234", "04012345", "040123",  "0401999",    "0401*x",
                                 "0891111", "05119",   "0612",     "0613999", "0614",       "ab123",
                                 "AB123",   "07011",   "09111",    "0922",    "030*",       "1234567890"};
    const CallerResolver batch = dir.BatchResolver();
    for (int pass = 0; pass < 2; ++pass) { // answers given twice come from its memory
        for (const QString &number : numbers) {
            const ResolvedCaller one = dir.ResolveCaller(number);
            const ResolvedCaller many = batch.Resolve(number);
            EXPECT_EQ(many.Text, one.Text) << number.toStdString();
            EXPECT_EQ(many.Found, one.Found) << number.toStdString();
            EXPECT_EQ(many.MatchedKey, one.MatchedKey) << number.toStdString();
            EXPECT_EQ(many.Blocked, one.Blocked) << number.toStdString();
            EXPECT_EQ(many.Number, one.Number) << number.toStdString();
        }
    }
    EXPECT_EQ(batch.Resolve("0891111").Text, QString::fromUtf8("F#München"));
    EXPECT_EQ(batch.Resolve("0922").MatchedKey, "09*");
    // The resolver keeps the directory as it was read.
    dir.WriteCaller("0911", "Spaeter", true);
    EXPECT_EQ(batch.Resolve("09115").Text, "F#Neu");
    EXPECT_EQ(dir.ResolveCaller("09115").Text, "T#Spaeter");
}

// The caller list saves the user's edits only: what changed in the file while the list was open
// (a caller learned, or blocked from a notice) stays, unless the user edited that row as well.
TEST_F(CallerDirectoryTest, ListSaveWritesOnlyTheUsersEdits)
{
    givenFile("[Anrufer]\r\n0301=F#A\r\n0302=F#B\r\n0303=F#C\r\n0304=Alt\r\n0305=Unberuehrt\r\n");
    CallerDirectory dir(file);
    const QList<CallerRecord> loaded = dir.ReadCallerList(CallerSortOrder::ByNumber);
    QList<CallerRecord> rows = loaded;

    // While the list is open: a ring learns a caller (queued), another one was learned and
    // saved, 0301 is blocked and 0304 renamed elsewhere.
    CallerDirectory(file).AddCaller("0402", "0402");
    CallerDirectory(file).WriteCaller("0301", "A", true);
    CallerDirectory(file).WriteCaller("0304", "Anders", false);
    {
        FileSizeLimit limit(10);
        dir.QueueAddCaller("0403", "0403");
    }
    // The user deletes 0302, clears the number of 0303, renames 0304 and types 0402 into a new
    // row; 0301 and 0305 stay as they were loaded.
    rows.removeAt(1);
    rows[1].Number.clear();
    rows[2].Name = "Eigen";
    rows.append({"0402", "Getippt", true});
    dir.WriteCallerList(rows, loaded);
    EXPECT_EQ(readBytes(file), "[Anrufer]\r\n0301=T#A\r\n0304=F#Eigen\r\n0305=Unberuehrt\r\n"
                               "0402=T#Getippt\r\n0403=F#0403\r\n");
}

// Naming or blocking one caller that a group key (or a shorter number) answers: its own entry,
// placed before the key that would answer it first, starts from the group's name and takes
// effect at once; a later list save keeps it there, and keeps every other entry answering what
// it answered.
TEST_F(CallerDirectoryTest, OwnEntryOfACallerAnswersBeforeItsGroup)
{
    givenFile("[Anrufer]\r\n0401=F#Hamburg\r\n030*=F#Berlin\r\n0301234567=F#Alt\r\n0302=F#Verdeckt\r\n");
    CallerDirectory dir(file);
    // What the record dialog starts from: the caller's own entry, else the one that answers it.
    EXPECT_EQ(dir.CallerOf("0309999"), CallerRecord({"0309999", "Berlin", false}));
    EXPECT_EQ(dir.CallerOf("0301234567"), CallerRecord({"0301234567", "Alt", false}));
    EXPECT_EQ(dir.CallerOf("0999"), CallerRecord({"0999", "", false}));

    // Blocking a caller of the group blocks that caller alone.
    dir.WriteOwnCaller("0309999", "Berlin", true);
    ResolvedCaller r = dir.ResolveCaller("0309999");
    EXPECT_EQ(r.MatchedKey, "0309999");
    EXPECT_EQ(r.Text, "T#Berlin");
    EXPECT_TRUE(r.Blocked);
    EXPECT_FALSE(dir.ResolveCaller("0308888").Blocked);
    // An own entry standing behind the key that answers first moves before it; one that answers
    // first already keeps its line.
    dir.WriteOwnCaller("0301234567", "Meier", true);
    EXPECT_EQ(dir.ResolveCaller("0301234567").Text, "T#Meier");
    dir.WriteOwnCaller("0401", "Hamburg-Mitte", false);
    EXPECT_EQ(readBytes(file),
              "[Anrufer]\r\n0401=F#Hamburg-Mitte\r\n0309999=T#Berlin\r\n0301234567=T#Meier\r\n"
              "030*=F#Berlin\r\n0302=F#Verdeckt\r\n");

    // The list saved with an edit in number order ("030*" first); then with the entry 030* hides
    // renamed and written first: every number is answered as before.
    const QStringList numbers = {"0309999", "0301234567", "0308888", "03021", "04011"};
    QStringList expected;
    for (const QString &number : numbers)
        expected << dir.ResolveCaller(number).Text;
    QList<CallerRecord> loaded = dir.ReadCallerList(CallerSortOrder::ByNumber);
    ASSERT_EQ(loaded.first().Number, "030*");
    QList<CallerRecord> rows = loaded;
    rows.last().Name = "Hamburg";
    dir.WriteCallerList(rows, loaded);
    expected[4] = "F#Hamburg";
    for (qsizetype i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(dir.ResolveCaller(numbers[i]).Text, expected[i]) << numbers[i].toStdString();

    loaded = dir.ReadCallerList(CallerSortOrder::ByNumber);
    rows = loaded;
    ASSERT_EQ(rows[2].Number, "0302");
    rows[2].Name = "Anders";
    rows.move(2, 0);
    dir.WriteCallerList(rows, loaded);
    for (qsizetype i = 0; i < numbers.size(); ++i)
        EXPECT_EQ(dir.ResolveCaller(numbers[i]).Text, expected[i]) << numbers[i].toStdString();
}
