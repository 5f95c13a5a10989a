#pragma once

#include <QString>
#include <QStringList>

// Telephone numbers written by people (address books, the caller list) and numbers as the line
// delivers them, brought to one comparable form: the international number without any prefix
// ("49301234567"). The rules are those of the German numbering plan and its neighbours: "0"
// begins a national number, "00" or "+" an international one.

// The user's own place in the numbering plan, digits only and without prefixes.
struct NumberPlan
{
    QString Country = QStringLiteral("49"); // "49", not "+49" or "0049"
    QString Area;                           // "30", not "030"; may be empty

    // Keeps only the digits of both codes and drops the prefixes a user may have typed
    // ("+49" -> "49", "030" -> "30").
    static NumberPlan fromText(const QString &country, const QString &area);
};

namespace PhoneNumber {

// The dialable part of a written number: a "tel:" in front is dropped, everything from the first
// letter, ";" or "," on is cut off (extensions, parameters, remarks), blanks, dashes, slashes,
// dots and parentheses go, a "(0)" after an international prefix ("+49 (0)30") goes with its
// parentheses, and a "+" is kept only in front. Empty when fewer than two digits remain.
QString Digits(const QString &text);

// A number as people write it, in international form without prefix: "+49 30 1234567",
// "0049 30 1234567" and "030/123 45 67" all give "49301234567". Digits without a prefix are a
// local number in the plan's area (without an area: a national number). Empty when the text
// holds no number.
QString International(const QString &text, const NumberPlan &plan);

// A number as the line delivers it (a calling number, with or without the "0" that "Null
// erzeugen" puts in front), in the international forms it may stand for, the most likely first:
// digits without a prefix are first a national number that lost its "0" ("301234567"), then a
// local number in the plan's area. A number with a prefix has one form. Empty when no number.
QStringList LineForms(const QString &text, const NumberPlan &plan);

} // namespace PhoneNumber
