#include "calls/PhoneNumber.h"

#include <gtest/gtest.h>

namespace {
const NumberPlan kBerlin = NumberPlan::fromText(QStringLiteral("+49"), QStringLiteral("030"));
}

TEST(PhoneNumber, WrittenFormsOfOneNumberAgree)
{
    for (const char *written : {"+49 30 1234567", "030/123 45 67", "0049 30 1234567", "+49 (0)30 123-45-67",
                                "0049 (0) 30 1234567", "(030) 123 45 67", "tel:+49-30-1234567",
                                "+49 30 1234567 ext. 12", "tel:+49-30-1234567;ext=12", "030.1234567"})
        EXPECT_EQ(PhoneNumber::International(QString::fromUtf8(written), kBerlin), "49301234567") << written;
    // Digits without a prefix are a local number of the user's area.
    EXPECT_EQ(PhoneNumber::International("123 45 67", kBerlin), "49301234567");
    EXPECT_EQ(PhoneNumber::International("123 45 67", NumberPlan()), "491234567");
    // Abroad stays abroad.
    EXPECT_EQ(PhoneNumber::International("+43 1 5551234", kBerlin), "4315551234");
    EXPECT_EQ(PhoneNumber::International("0043 1 5551234", kBerlin), "4315551234");
}

TEST(PhoneNumber, LineNumbersMatchTheirWrittenForms)
{
    // The line delivers national numbers without their 0; "Null erzeugen" puts it back.
    EXPECT_EQ(PhoneNumber::LineForms("301234567", kBerlin), QStringList({"49301234567", "4930301234567"}));
    EXPECT_EQ(PhoneNumber::LineForms("0301234567", kBerlin), QStringList({"49301234567"}));
    EXPECT_EQ(PhoneNumber::LineForms("+49301234567", kBerlin), QStringList({"49301234567"}));
    // A local number of the user's area, as some lines deliver it.
    EXPECT_TRUE(PhoneNumber::LineForms("1234567", kBerlin).contains("49301234567"));
    EXPECT_EQ(PhoneNumber::LineForms("301234567", NumberPlan()), QStringList({"49301234567"}));
}

TEST(PhoneNumber, TextsWithoutANumberGiveNothing)
{
    for (const char *text : {"", " ", "7", "+", "Büro", "privat 1", "-/-"})
        EXPECT_TRUE(PhoneNumber::Digits(QString::fromUtf8(text)).isEmpty()) << text;
    EXPECT_TRUE(PhoneNumber::LineForms("", kBerlin).isEmpty());
    EXPECT_TRUE(PhoneNumber::International("n/a", kBerlin).isEmpty());
    // A plus sign counts only in front; a plan typed with its prefixes is cleaned.
    EXPECT_EQ(PhoneNumber::Digits("030 + 123"), "030123");
    EXPECT_EQ(NumberPlan::fromText("", "0 30").Country, "49");
    EXPECT_EQ(NumberPlan::fromText("", "0 30").Area, "30");
}
