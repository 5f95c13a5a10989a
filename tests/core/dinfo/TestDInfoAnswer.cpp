// The answer file of the directory program: how its answer line is read, and how one state of
// the file is told from the next.
#include "common/FileStamp.h"
#include "common/Utils.h"
#include "dinfo/DInfoAnswer.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <QFile>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace DInfoAnswer;

TEST(DInfoAnswer, ParsesTheAnswerLineWithEightBitLengths)
{
    EXPECT_EQ(ParseLine("NA: Meier;VN: Hans;ZUS: Elbwerk GmbH;STR: Hafen 1"), "Meier, Hans Elbwerk GmbH");
    // Only a surname: no ", ".
    EXPECT_EQ(ParseLine("NA: Meier;VN: ;ZUS: ;STR: Hafen 1"), "Meier");
    // Without ";VN:" the length wraps in 8 bits: the rest of the line, at most 251 characters.
    EXPECT_EQ(ParseLine("NA: Meier und Partner"), "Meier und Partner");
    const QString longName(300, QLatin1Char('x'));
    EXPECT_EQ(ParseLine("NA: " + longName).size(), 251);
    // Nobody, or only blanks, is no name.
    EXPECT_EQ(ParseLine(""), "");
    EXPECT_EQ(ParseLine("NA:  ;VN:  ;ZUS:  ;STR: "), "");
    EXPECT_EQ(ParseLine("Kein Eintrag"), "");

    // What the stand-in writes comes back as written, also with a ";" inside a field and with
    // fields too long for the line.
    EXPECT_EQ(ParseLine(FormatLine("Weiß", "Otto", "Weiß & Söhne; Dach", "Gasse 1")),
              "Weiß, Otto Weiß & Söhne, Dach");
    const QString line =
        FormatLine(QString(200, 'a'), QString(200, 'b'), QString(200, 'c'), QString(200, 'd'));
    EXPECT_LE(line.size(), kMaxLine);
    EXPECT_EQ(ParseLine(line), QString(60, 'a') + ", " + QString(40, 'b') + " " + QString(60, 'c'));
}

// Found by fuzzing: a field holding the text of a later label moved that label's field.
TEST(DInfoAnswer, LabelsInsideFieldsDoNotMoveTheFields)
{
    EXPECT_EQ(ParseLine(FormatLine("Firma Schulze ZUS: Filiale", "VN: Eva", "Bau", "Weg")),
              "Firma Schulze ZUS : Filiale, VN : Eva Bau");
    EXPECT_EQ(ParseLine(FormatLine("AVN:B", "Hans", "ZUS:", "STR:")), "AVN :B, Hans ZUS :");
}

TEST(DInfoAnswer, ReadsTwoLinesInCodePage850AndCutsTheAnswer)
{
    TestEnv env;
    const QString path = env.root() + "/dinfo.prz";
    ASSERT_TRUE(writeBytes(path, FileBytes("R;0301234567", "NA: Müller;VN: Jürgen;ZUS: ;STR: ")));
    FileText text;
    ASSERT_TRUE(ReadFile(path, &text));
    EXPECT_EQ(text.FirstLine, "R;0301234567");
    EXPECT_EQ(readBytes(path).mid(14, 10), QByteArray("NA: M\x81ller")); // "ü" is 0x81 in CP850
    EXPECT_EQ(ParseLine(text.AnswerLine), "Müller, Jürgen");

    // An overlong line is cut at 255 characters; control characters become blanks; a file of
    // one line has no answer; garbage is read as it is, without harm.
    const char withControls[] = "R;1\nNA: A\x01\x00"
                                "B;VN:";
    ASSERT_TRUE(
        writeBytes(path, QByteArray(withControls, sizeof withControls - 1) + QByteArray(400, 'v') + "\n"));
    ASSERT_TRUE(ReadFile(path, &text));
    EXPECT_EQ(text.AnswerLine.size(), kMaxLine);
    EXPECT_TRUE(text.AnswerLine.startsWith("NA: A  B;VN:"));
    ASSERT_TRUE(writeBytes(path, "R;1\r\n"));
    ASSERT_TRUE(ReadFile(path, &text));
    EXPECT_TRUE(text.AnswerLine.isEmpty());
    ASSERT_TRUE(writeBytes(path, QByteArray("\xFF\xFE\x00\x01\r\r\n\xDB\xB2\xB1", 10)));
    ASSERT_TRUE(ReadFile(path, &text));
    EXPECT_EQ(ParseLine(text.AnswerLine), "");
    EXPECT_FALSE(ReadFile(env.root() + "/absent.prz", &text));
}

// The answer file lies in a folder the directory program writes into: a pipe put in its place
// must not hold the main thread up, and a link must not make it read another file.
TEST(DInfoAnswer, ReadsOnlyARegularFileThatIsNoLink)
{
    TestEnv env;
    const QString path = env.root() + "/dinfo.prz";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    auto read = std::async(std::launch::async, [&path] {
        FileText text;
        return ReadFile(path, &text);
    });
    const bool returned = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!returned) {
        // Lets the hanging open go on, so the test can end.
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    ASSERT_TRUE(returned) << "reading a pipe as the answer file hangs";
    EXPECT_FALSE(read.get());

    const QString elsewhere = env.root() + "/elsewhere.txt";
    ASSERT_TRUE(writeBytes(elsewhere, FileBytes("R;1", "NA: Fremd;VN: ;ZUS: ;STR: ")));
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QFile::link(elsewhere, path));
    FileText text;
    EXPECT_FALSE(ReadFile(path, &text));
    EXPECT_TRUE(text.AnswerLine.isEmpty());
}

TEST(DInfoAnswer, StampTellsTwoAnswersOfOneSecondApart)
{
    TestEnv env;
    const QString path = env.root() + "/dinfo.prz";
    EXPECT_FALSE(FileStamp::Of(path).Exists);
    WriteFileAtomic(path, FileBytes("R;1", "NA: A;VN: ;ZUS: ;STR: "));
    const FileStamp first = FileStamp::Of(path);
    EXPECT_TRUE(first.Exists);
    // Same size, and the modification time set back to the first one's: the replaced file is
    // still another file.
    WriteFileAtomic(path, FileBytes("R;2", "NA: B;VN: ;ZUS: ;STR: "));
    struct timespec times[2] = {{0, UTIME_OMIT},
                                {first.ModifiedNs / 1000000000, first.ModifiedNs % 1000000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    const FileStamp second = FileStamp::Of(path);
    EXPECT_EQ(second.ModifiedNs, first.ModifiedNs);
    EXPECT_EQ(second.Size, first.Size);
    EXPECT_FALSE(second == first);
}
