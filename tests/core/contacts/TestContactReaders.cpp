// The address book readers on files shaped as real programs write them, and the address book
// that finds contacts by the number the line delivers.
#include "common/Utils.h"
#include "contacts/AddressBook.h"
#include "contacts/CsvReader.h"
#include "contacts/VCardReader.h"
#include "support/FileBytes.h"
#include "support/TestEnv.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {
const NumberPlan kBerlin = NumberPlan::fromText("49", "30");

// Far above what linear reading of the generated inputs below takes on a slow machine under a
// sanitizer, far below what reading them with work that grows with the square of their size takes.
constexpr qint64 kLinearBoundMs = 10000;
} // namespace

TEST(VCardReader, ThunderbirdStyleVersion30)
{
    // Folded lines (one blank dropped), escapes, groups, a folded photo, two cards.
    const QByteArray file = "BEGIN:VCARD\r\n"
                            "VERSION:3.0\r\n"
                            "PRODID:-//Sabre//Sabre VObject 4.4.2//EN\r\n"
                            "N:Meier-Lüdenscheidt;Hans-Georg;;Dr.;\r\n"
                            "FN:Dr. Hans-Georg Meier-Lüdenscheidt\r\n"
                            "ORG:Elbwerk GmbH\\, Hamburg;Vertrieb\r\n"
                            "ADR;TYPE=work:;;Hafenstraße 1\\nHaus B;Hamburg;;20457;Deutschland\r\n"
                            "ADR;TYPE=home:;;Nebenweg 2;Lübeck;;23552;\r\n"
                            "item1.TEL;TYPE=work,voice:+49 40 123\r\n"
                            " 45 67\r\n"
                            "TEL;TYPE=cell:0171 2345678\r\n"
                            "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD\r\n"
                            " /2wBDAAMCAgMCAgMDAwMEAwMEBQgFBQQEBQoHBwYIDAoMDAsKCwsNDhIQ\r\n"
                            "END:VCARD\r\n"
                            "BEGIN:VCARD\r\n"
                            "VERSION:3.0\r\n"
                            "FN:Pizzeria Napoli\r\n"
                            "ORG:Pizzeria Napoli\r\n"
                            "TEL:030 9876543\r\n"
                            "END:VCARD\r\n";
    const QList<Contact> cards = ReadVCards(file);
    ASSERT_EQ(cards.size(), 2);
    EXPECT_EQ(cards[0].Surname, "Meier-Lüdenscheidt");
    EXPECT_EQ(cards[0].GivenName, "Hans-Georg");
    EXPECT_EQ(cards[0].Organisation, "Elbwerk GmbH, Hamburg Vertrieb");
    EXPECT_EQ(cards[0].Street, "Hafenstraße 1, Haus B");
    EXPECT_EQ(cards[0].PostalCode, "20457");
    EXPECT_EQ(cards[0].Locality, "Hamburg");
    EXPECT_EQ(cards[0].Phones, QStringList({"+49 40 12345 67", "0171 2345678"}));
    EXPECT_EQ(cards[1].DisplayName(), "Pizzeria Napoli");
}

TEST(VCardReader, Version21WithQuotedPrintableAndCharsets)
{
    // As phones and older Outlook versions export: bare parameters, quoted-printable umlauts
    // with a soft line break, one value in ISO-8859-1 and one in UTF-8, an embedded card, and
    // text outside any charset parameter in Windows-1252.
    const QByteArray file = "BEGIN:VCARD\r\n"
                            "VERSION:2.1\r\n"
                            "N;CHARSET=ISO-8859-1;ENCODING=QUOTED-PRINTABLE:M=FCller;J=FCrgen\r\n"
                            "FN;CHARSET=UTF-8;QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BC=\r\n"
                            "ller\r\n"
                            "ORG:B\xE4"
                            "ckerei Sch\xF6n\r\n"
                            "TEL;WORK;VOICE:(030) 123 45 67\r\n"
                            "TEL;CELL:+49 171 7654321\r\n"
                            "AGENT:BEGIN:VCARD\r\n"
                            "N:Sekretariat;Erika\r\n"
                            "TEL:030 5555555\r\n"
                            "END:VCARD\r\n"
                            "END:VCARD\r\n";
    const QList<Contact> cards = ReadVCards(file);
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].Surname, "Müller");
    EXPECT_EQ(cards[0].GivenName, "Jürgen");
    EXPECT_EQ(cards[0].FullName, "Jürgen Müller");
    EXPECT_EQ(cards[0].Organisation, "Bäckerei Schön");
    EXPECT_EQ(cards[0].Phones, QStringList({"(030) 123 45 67", "+49 171 7654321"}));
}

TEST(VCardReader, Version40)
{
    const QByteArray file =
        "BEGIN:VCARD\n"
        "VERSION:4.0\n"
        "FN:Zoë Şahin\n"
        "N:Şahin;Zoë;;;\n"
        "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+49-30-1234567;ext=89\n"
        "ADR;LABEL=\"Kastanienallee 5\\n10435 Berlin\":;;Kastanienallee 5;Berlin;;10435;\n"
        "END:VCARD\n";
    const QList<Contact> cards = ReadVCards(file);
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].DisplayName(), "Şahin, Zoë");
    EXPECT_EQ(cards[0].Street, "Kastanienallee 5");
    ASSERT_EQ(cards[0].Phones.size(), 1);
    EXPECT_EQ(PhoneNumber::International(cards[0].Phones[0], kBerlin), "49301234567");
}

TEST(VCardReader, ABrokenCardCostsOnlyItself)
{
    // A card whose END:VCARD is missing is dropped; the card after it is read. An embedded card
    // announced by an empty AGENT line is still no card of its own, nor is a 3.0 AGENT that
    // holds its card escaped on one line.
    const QByteArray file = "BEGIN:VCARD\r\n"
                            "VERSION:3.0\r\n"
                            "N:Ohne;Ende\r\n"
                            "TEL:030 1111111\r\n"
                            "BEGIN:VCARD\r\n"
                            "VERSION:2.1\r\n"
                            "N:Zweite;Zoe\r\n"
                            "TEL:030 2222222\r\n"
                            "AGENT:\r\n"
                            "BEGIN:VCARD\r\n"
                            "N:Vertretung;Vera\r\n"
                            "END:VCARD\r\n"
                            "END:VCARD\r\n"
                            "BEGIN:VCARD\r\n"
                            "VERSION:3.0\r\n"
                            "N:Dritte;Dana\r\n"
                            "AGENT:BEGIN:VCARD\\nFN:Susi Sorglos\\nTEL:030 5\\nEND:VCARD\\n\r\n"
                            "TEL:030 3333333\r\n"
                            "END:VCARD\r\n"
                            "BEGIN:VCARD\r\n"
                            "N:Vierte;Vio\r\n"
                            "TEL:030 4444444\r\n"
                            "END:VCARD\r\n";
    const QList<Contact> cards = ReadVCards(file);
    ASSERT_EQ(cards.size(), 3);
    EXPECT_EQ(cards[0].Surname, "Zweite");
    EXPECT_EQ(cards[0].Phones, QStringList({"030 2222222"}));
    EXPECT_EQ(cards[1].Surname, "Dritte");
    EXPECT_EQ(cards[1].Phones, QStringList({"030 3333333"}));
    EXPECT_EQ(cards[2].Surname, "Vierte");
}

TEST(VCardReader, SoftLineBreaksTakeTimeInProportionToTheText)
{
    // A damaged quoted-printable line: no colon ever ends its head, and 700,000 soft line
    // breaks continue it. The card after it is read as usual.
    QByteArray file = "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE;ENCODING=QUOTED-PRINTABLE=\r\n";
    for (int i = 0; i < 700000; ++i)
        file += "a=\r\n";
    file += "a\r\nN:Nach;Vor\r\nTEL:030 1234567\r\nEND:VCARD\r\n";
    QElapsedTimer timer;
    timer.start();
    const QList<Contact> cards = ReadVCards(file);
    EXPECT_LT(timer.elapsed(), kLinearBoundMs);
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].Phones, QStringList({"030 1234567"}));
}

TEST(CsvReader, SpreadsheetAndAddressBookExports)
{
    // A hand-made table saved by a German spreadsheet: semicolons, Windows-1252, "Name" beside
    // "Vorname" is the surname.
    const QByteArray sheet = "Name;Vorname;Firma;Stra\xDF"
                             "e;PLZ;Ort;Telefon;Handy\r\n"
                             "Gr\xFC"
                             "n;Anna;;Lindenweg 3;14467;Potsdam;0331/12 34 56;\r\n"
                             ";;;;;;;\r\n"
                             "Wei\xDF;Otto;\"Wei\xDF & S\xF6hne; Dachdecker\";;;;;0160-1112223\r\n";
    const QList<Contact> fromSheet = ReadCsvContacts(DecodeContactText(sheet));
    ASSERT_EQ(fromSheet.size(), 2);
    EXPECT_EQ(fromSheet[0].DisplayName(), "Grün, Anna");
    EXPECT_EQ(fromSheet[0].Locality, "Potsdam");
    EXPECT_EQ(fromSheet[0].Phones, QStringList({"0331/12 34 56"}));
    EXPECT_EQ(fromSheet[1].Organisation, "Weiß & Söhne; Dachdecker");
    EXPECT_EQ(fromSheet[1].Phones, QStringList({"0160-1112223"}));

    // Google, in the order of its export: commas, "Name" is the whole name next to "Family Name",
    // several numbers in one field, a note spanning lines, the kind of a number, an organisation
    // or an address in a column before its value, an address as one formatted field before its
    // parts.
    const QStringList header =
        QStringLiteral("Name,Given Name,Additional Name,Family Name,Yomi Name,Given Name Yomi"
                       ",Additional Name Yomi,Family Name Yomi,Name Prefix,Name Suffix,Initials,Nickname"
                       ",Short Name,Maiden Name,Birthday,Gender,Location,Billing Information"
                       ",Directory Server,Mileage,Occupation,Hobby,Sensitivity,Priority,Subject,Notes"
                       ",Language,Photo,Group Membership,E-mail 1 - Type,E-mail 1 - Value,Phone 1 - Type"
                       ",Phone 1 - Value,Phone 2 - Type,Phone 2 - Value,Address 1 - Type"
                       ",Address 1 - Formatted,Address 1 - Street,Address 1 - City,Address 1 - PO Box"
                       ",Address 1 - Region,Address 1 - Postal Code,Address 1 - Country"
                       ",Address 1 - Extended Address,Organization 1 - Type,Organization 1 - Name"
                       ",Organization 1 - Yomi Name,Organization 1 - Title,Organization 1 - Department"
                       ",Organization 1 - Symbol,Organization 1 - Location,Organization 1 - Job Description")
            .split(QLatin1Char(','));
    QStringList row(header.size());
    const auto set = [&](const QString &heading, const QString &value) {
        row[header.indexOf(heading)] = value;
    };
    set("Name", "Karl Kurz");
    set("Given Name", "Karl");
    set("Family Name", "Kurz");
    set("Notes", "\"Zeile 1\nZeile 2, mit Komma\"");
    set("Group Membership", "* myContacts");
    set("E-mail 1 - Type", "* Work");
    set("E-mail 1 - Value", "karl@kurz.example");
    set("Phone 1 - Type", "Mobile");
    set("Phone 1 - Value", "+49 170 1234567 ::: +49 30 7654321");
    set("Phone 2 - Type", "Work");
    set("Phone 2 - Value", "030 111");
    set("Address 1 - Type", "Work");
    set("Address 1 - Formatted", "\"Lindenweg 3\n14467 Potsdam\nDE\"");
    set("Address 1 - Street", "Lindenweg 3");
    set("Address 1 - City", "Potsdam");
    set("Address 1 - Postal Code", "14467");
    set("Address 1 - Country", "DE");
    set("Organization 1 - Type", "Work");
    set("Organization 1 - Name", "Kurz KG");
    set("Organization 1 - Title", "Chef");
    const QList<Contact> fromGoogle = ReadCsvContacts(header.join(',') + '\n' + row.join(',') + '\n');
    ASSERT_EQ(fromGoogle.size(), 1);
    EXPECT_EQ(fromGoogle[0].Surname, "Kurz");
    EXPECT_EQ(fromGoogle[0].FullName, "Karl Kurz");
    EXPECT_EQ(fromGoogle[0].Organisation, "Kurz KG");
    EXPECT_EQ(fromGoogle[0].Street, "Lindenweg 3");
    EXPECT_EQ(fromGoogle[0].PostalCode, "14467");
    EXPECT_EQ(fromGoogle[0].Locality, "Potsdam");
    EXPECT_EQ(fromGoogle[0].Phones, QStringList({"+49 170 1234567", "+49 30 7654321", "030 111"}));

    // A table with no number column is no address book.
    EXPECT_TRUE(ReadCsvContacts("Name,Ort\nA,B\n").isEmpty());
}

TEST(CsvReader, WideTablesTakeTimeInProportionToTheText)
{
    // 100,000 number columns, then 20,000 rows that fill only the first: the rows are not walked
    // column by column.
    QString text = "Name";
    for (int i = 0; i < 100000; ++i)
        text += ",Tel";
    text += "\n";
    for (int i = 0; i < 20000; ++i)
        text += "a\n";
    QElapsedTimer timer;
    timer.start();
    const QList<Contact> contacts = ReadCsvContacts(text);
    EXPECT_LT(timer.elapsed(), kLinearBoundMs);
    ASSERT_EQ(contacts.size(), 20000);
    EXPECT_EQ(contacts.back().DisplayName(), "a");

    // A row keeps its first kMaxCsvFields fields; a column beyond them is none.
    QString wide = "Name" + QString(",x").repeated(kMaxCsvFields - 1) + ",Tel\nA" +
                   QString(",").repeated(kMaxCsvFields) + "030 1\n";
    const QList<QStringList> rows = ParseCsv(wide, QLatin1Char(','));
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[1].size(), kMaxCsvFields);
    EXPECT_TRUE(ReadCsvContacts(wide).isEmpty());
    wide.replace(",x,Tel", ",Tel,x");
    EXPECT_EQ(ReadCsvContacts(wide).size(), 1);
}

TEST(AddressBook, FindsByLineNumberAcrossFilesAndRereadsChanges)
{
    TestEnv env;
    const QString folder = env.root() + "/kontakte";
    ASSERT_TRUE(writeBytes(folder + "/a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Erste;Eva\r\n"
                                              "TEL:+49 30 1234567\r\nEND:VCARD\r\n"));
    ASSERT_TRUE(writeBytes(folder + "/b/liste.csv",
                           "Nachname,Vorname,Telefon\r\nZweite,Zora,030/123 45 67\r\n"
                           "Dritte,Dora,0049 40 555\r\n"));
    ASSERT_TRUE(writeBytes(folder + "/notizen.txt", "TEL:030 999\r\n"));
    const QString missing = env.root() + "/fehlt.vcf";

    AddressBook book;
    book.Load({folder, missing}, kBerlin);
    EXPECT_EQ(book.size(), 3);
    EXPECT_EQ(book.errors().size(), 1); // the missing source, named
    // The first file by name wins a shared number; the line's forms with and without "0".
    for (const char *number : {"301234567", "0301234567", "1234567"}) {
        const Contact *c = book.Find(number);
        ASSERT_NE(c, nullptr) << number;
        EXPECT_EQ(c->Surname, "Erste");
    }
    ASSERT_NE(book.Find("40555"), nullptr);
    EXPECT_EQ(book.Find("40555")->Surname, "Dritte");
    EXPECT_EQ(book.Find("30999"), nullptr); // only .vcf, .vcard and .csv files count
    EXPECT_FALSE(book.Refresh());

    // A changed or vanished file is read again at the next refresh.
    ASSERT_TRUE(writeBytes(folder + "/a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Neu;Nora\r\n"
                                              "TEL:+49 30 1234567\r\nEND:VCARD\r\n"));
    EXPECT_TRUE(book.Refresh());
    ASSERT_NE(book.Find("301234567"), nullptr);
    EXPECT_EQ(book.Find("301234567")->Surname, "Neu");
    ASSERT_TRUE(QFile::remove(folder + "/b/liste.csv"));
    EXPECT_TRUE(book.Refresh());
    EXPECT_EQ(book.Find("40555"), nullptr);
}

TEST(AddressBook, ReadsOnlyRegularFilesWithinTheSizeCaps)
{
    // A pipe, a link to a device, files beyond the caps: each is named and read no further, and
    // the other address books are read. A link to a regular file is read.
    TestEnv env;
    const QString fifo = env.root() + "/pipe.vcf";
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString device = env.root() + "/zero.vcf";
    ASSERT_TRUE(QFile::link("/dev/zero", device));
    const QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Gross;Gina\r\nTEL:030 7777777\r\nEND:VCARD\r\n";
    const QByteArray table = "Name;Telefon\r\nGross;030 8888888\r\n";
    const QString bigCard = env.root() + "/gross.vcf";
    const QString bigTable = env.root() + "/gross.csv";
    ASSERT_TRUE(writeBytes(bigCard, card));
    ASSERT_TRUE(writeBytes(bigTable, table));
    // Sparse: the rest of each file is zeros that take no disk.
    ASSERT_TRUE(QFile::resize(bigCard, kMaxVCardFileSize + 1));
    ASSERT_TRUE(QFile::resize(bigTable, kMaxCsvFileSize + 1));
    const QString folder = env.root() + "/kontakte";
    ASSERT_TRUE(writeBytes(folder + "/a.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Erste;Eva\r\n"
                                              "TEL:+49 30 1234567\r\nEND:VCARD\r\n"));
    ASSERT_TRUE(writeBytes(env.root() + "/liste.csv", "Nachname;Telefon\r\nZweite;030 2222222\r\n"));
    ASSERT_TRUE(QFile::link(env.root() + "/liste.csv", folder + "/b.csv"));
    ASSERT_TRUE(QFile::link("/dev/zero", folder + "/z.vcf"));

    AddressBook book;
    book.Load({fifo, device, bigCard, bigTable, folder}, kBerlin);
    EXPECT_EQ(book.size(), 2);
    ASSERT_NE(book.Find("301234567"), nullptr);
    ASSERT_NE(book.Find("302222222"), nullptr);
    EXPECT_EQ(book.Find("307777777"), nullptr);
    EXPECT_EQ(book.Find("308888888"), nullptr);
    const QStringList errors = book.errors();
    ASSERT_EQ(errors.size(), 5) << errors.join('\n').toStdString();
    EXPECT_TRUE(errors[0].startsWith(fifo));
    EXPECT_TRUE(errors[1].startsWith(device));
    EXPECT_EQ(errors[2], bigCard + " ist zu groß für ein Adressbuch");
    EXPECT_EQ(errors[3], bigTable + " ist zu groß für ein Adressbuch");
    EXPECT_TRUE(errors[4].startsWith(folder + "/z.vcf"));

    // Just within the caps they are read.
    ASSERT_TRUE(QFile::resize(bigCard, kMaxVCardFileSize));
    ASSERT_TRUE(QFile::resize(bigTable, kMaxCsvFileSize));
    QString error;
    const QList<Contact> cards = ReadContactFile(bigCard, &error);
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards[0].Surname, "Gross");
    const QList<Contact> rows = ReadContactFile(bigTable, &error);
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows[0].Phones, QStringList({"030 8888888"}));
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}
