#pragma once

#include <QString>
#include <QStringList>

// The MSN list setting (ISDN_MSN): the eight MSN fields joined by "," (seven commas, empty
// fields stay empty). The ring decision and the sound choice work on a copy of that text.
namespace MsnList {
inline constexpr int kFields = 8;

// The fields as the MSN window shows them: the text before the first "," is field 1, between
// the first and second "," field 2 ... up to field 7; whatever follows the last "," is field 8.
// A text without "," is field 1 alone. Always returns eight entries.
QStringList splitForWindow(const QString &list);
// The eight fields joined by "," (missing fields are empty).
QString join(const QStringList &fields);
// The position (1 to 8 and beyond) of the first field equal to the called number, counting
// the fields between the commas from 1; 0 when none is equal.
int positionOf(const QString &list, const QString &calledNumber);
// The wave file to play for a call: the sound setting of the first field equal to the called
// number, when it names an existing file; empty when the built-in signal is to sound instead.
// The path is returned whole, whatever its length.
QString soundFileFor(const QString &list, const QString &calledNumber);
} // namespace MsnList

// True unless the call is to be ignored for its called number: every call is accepted while the
// list holds no MSN (7 characters or fewer); otherwise the called number must occur in the list
// text. An empty called number is not found.
bool IsMsnAccepted(const QString &msnList, const QString &calledNumber);
