#pragma once

#include <QByteArray>
#include <QString>

// The answer file "dinfo.prz" that the directory program writes into its folder for every
// reverse search: code page 850, a first line (our stand-in repeats the request there), then the
// answer line with the fields "NA:", ";VN:", ";ZUS:" and ";STR:", each label followed by one
// separating character and its text. No second line means nothing was found.
namespace DInfoAnswer {

inline constexpr const char *kFileName = "dinfo.prz";
// The request of a reverse search: "R;" and the number, at most this many characters in all.
inline constexpr int kMaxRequest = 63;
// The part of the answer line that counts; the rest is cut off (for display: the parse below
// counts lengths in 8 bits).
inline constexpr int kMaxLine = 255;

// "R;" + number.
QString Request(const QString &number);

// The name in an answer line: the surname; ", " and the given name when there is one; " " and
// the addition when there is one. The lengths are counted as the directory program's clients
// always counted them, in 8 bits from the positions of the labels: a line without ";VN:" gives
// the rest of the line from the surname on. Blanks around a field are dropped, so a field of
// blanks is empty; empty when the line names nobody.
QString ParseLine(const QString &line);

// The answer line for a found subscriber. ";" and line breaks inside a field become "," and
// blanks, a label inside a field gets a blank before its colon ("VN :"), and each field is cut to
// a length that keeps the line within kMaxLine, so the parse above gives back exactly surname,
// given name and addition.
QString FormatLine(const QString &surname, const QString &givenName, const QString &addition,
                   const QString &street);

// The whole file: the first line, and the answer line when there is one (CR LF, code page 850).
QByteArray FileBytes(const QString &firstLine, const QString &answerLine);

// What ReadFile found.
struct FileText
{
    QString FirstLine;
    QString AnswerLine; // at most kMaxLine characters; control characters are blanks
};
// Reads the file; false when it cannot be opened or read (absent, locked, unreadable) or is no
// regular file: a pipe, a device, a folder, or a symbolic link (never followed).
bool ReadFile(const QString &path, FileText *text);
// The two lines of the file's bytes, as ReadFile takes them from the first 64 KiB it reads.
FileText ParseFile(QByteArrayView bytes);

} // namespace DInfoAnswer
