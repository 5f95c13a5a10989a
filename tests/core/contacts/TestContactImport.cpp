// Names from an address book for the caller directory: what the preview counts and the rows
// the directory then holds, for files shaped as address book programs export them.
#include "contacts/Contact.h"
#include "contacts/ContactImport.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {
const NumberPlan kBerlin = NumberPlan::fromText("49", "30");

// As Thunderbird writes a vCard 3.0 file.
const QByteArray kThunderbird =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Alt;Anna;;;\r\nFN:Anna Alt\r\n"
    "TEL;TYPE=home:+49 30 1111111\r\nTEL;TYPE=cell:0171 2345678\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Berger;Bruno;;;\r\nTEL:(030) 222 22 22\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Conrad;Clara;;;\r\nTEL:030 3333333\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Dietz;Dora;;;\r\nTEL:444 44 44\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ernst;Egon;;;\r\nEMAIL:egon@example.org\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nTEL:030 5555555\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Alt;Anna (Büro);;;\r\nTEL:030/111 11 11\r\n"
    "TEL:keine\r\nEND:VCARD\r\n";
// As Google Contacts exports CSV.
const QByteArray kGoogle =
    "Name,Given Name,Family Name,Organization 1 - Name,Phone 1 - Type,Phone 1 - Value\r\n"
    "Max Werbung,Max,Werbung,,Work,0900 1234567\r\n"
    ",,,Hafen Kontor,Work,+49 40 555 55 55\r\n"
    ",,,Zeta Ltd,Work,+44 20 7946 0000\r\n";
} // namespace

TEST(ContactImport, PreviewCountsAndRowsForExportedAddressBooks)
{
    TestEnv env;
    ASSERT_TRUE(writeBytes(env.root() + "/kontakte.vcf", kThunderbird));
    ASSERT_TRUE(writeBytes(env.root() + "/google.csv", kGoogle));
    QString error;
    QList<Contact> contacts = ReadContactFile(env.root() + "/kontakte.vcf", &error);
    contacts += ReadContactFile(env.root() + "/google.csv", &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();

    const QList<CallerRecord> directory = {
        {"0301111111", "0301111111", false},         // learned by the ring handler: gets the name
        {"0302222222", "Bruno (Handwerker)", false}, // named by the user: kept unless asked
        {"0303333333", "Conrad, Clara", true},       // the same name: unchanged, still blocked
        {"0304444444", "", true},                    // blocked without name: named, still blocked
        {"0900*", "Werbung", true},                  // a blocked group answers 09001234567
        {"040*", "Hamburg", false},
    };
    const ContactImport plan = PlanContactImport(directory, contacts, kBerlin, true, false);
    EXPECT_EQ(plan.New, 4);
    EXPECT_EQ(plan.Renamed, 2);
    EXPECT_EQ(plan.Unchanged, 1);
    EXPECT_EQ(plan.NamedDiffering, 1);
    EXPECT_EQ(plan.Summary(), "Neu: 4\rName geändert: 2\rUnverändert: 1\rÜbersprungen: 5\r"
                              "    ohne Rufnummer: 1\r    ohne Namen: 1\r    Rufnummer unbrauchbar: 1\r"
                              "    Rufnummer doppelt: 1\r    vom Benutzer anders benannt: 1");
    const QList<CallerRecord> expected = {
        {"0301111111", "Alt, Anna", false},
        {"0302222222", "Bruno (Handwerker)", false},
        {"0303333333", "Conrad, Clara", true},
        {"0304444444", "Dietz, Dora", true},
        // Before the group that would answer for it, and blocked as the group is.
        {"09001234567", "Werbung, Max", true},
        {"0900*", "Werbung", true},
        {"0405555555", "Hafen Kontor", false},
        {"040*", "Hamburg", false},
        {"01712345678", "Alt, Anna", false},
        {"00442079460000", "Zeta Ltd", false},
    };
    EXPECT_EQ(plan.Rows, expected);

    // Asked to: the user's own name is replaced as well.
    const ContactImport replacing = PlanContactImport(directory, contacts, kBerlin, true, true);
    EXPECT_EQ(replacing.Renamed, 3);
    EXPECT_EQ(replacing.Skipped[ContactImport::NamedOtherwise], 0);
    EXPECT_EQ(replacing.Rows[1].Name, "Berger, Bruno");

    // Without "Null erzeugen" the keys are the numbers as the line delivers them.
    EXPECT_EQ(DirectoryKeyOf("030/123 45 67", kBerlin, false), "301234567");
    EXPECT_EQ(DirectoryKeyOf("+44 20 7946 0000", kBerlin, false), "442079460000");
    EXPECT_EQ(DirectoryKeyOf("keine", kBerlin, true), "");
}

TEST(ContactImport, OverlongNumbersAreNoNumbers)
{
    // Up to kMaxNumberDigits digits in the international form a number is a key; a longer one is
    // none, and a very long one costs no more than reading it.
    const QString longest = "+" + QString(kMaxNumberDigits, '1');
    EXPECT_EQ(DirectoryKeyOf(longest, kBerlin, false), longest.mid(1));
    EXPECT_EQ(DirectoryKeyOf(longest + "1", kBerlin, false), "");

    Contact contact;
    contact.Surname = "Lang";
    contact.Phones = {longest, "+" + QString(1000000, '1')};
    QElapsedTimer timer;
    timer.start();
    const ContactImport plan = PlanContactImport({{"001*", "Gruppe", true}}, {contact}, kBerlin, true, false);
    EXPECT_LT(timer.elapsed(), 10000); // far below a search that grows with the square of the length
    EXPECT_EQ(plan.Skipped[ContactImport::BadNumber], 1);
    ASSERT_EQ(plan.Rows.size(), 2);
    EXPECT_EQ(plan.Rows[0], CallerRecord({"00" + longest.mid(1), "Lang", true}));
}

TEST(ContactImport, NewEntriesDoNotShadowEachOther)
{
    // A switchboard's number is the start of its extensions' numbers, and the ring handler takes
    // the first entry that answers: the extension must come first, whatever the file's order.
    Contact office;
    office.Organisation = "Kontor (Zentrale)";
    office.Phones = {"030 1234"};
    Contact clerk;
    clerk.Surname = "Krause";
    clerk.Phones = {"030 1234 56"};
    const ContactImport plan =
        PlanContactImport({{"040*", "Hamburg", false}}, {office, clerk}, kBerlin, true, false);
    const auto directory = CallerDirectory::InMemory({});
    directory->WriteCallerList(plan.Rows);
    EXPECT_EQ(directory->ResolveCaller("030123456").MatchedKey, "030123456");
    EXPECT_EQ(directory->ResolveCaller("0301234").MatchedKey, "0301234");
}
