#pragma once

#include <QColor>
#include <QString>
#include <QVariant>
#include <functional>

class QWidget;

// The common file-open, folder and colour choosers. Every window goes through these so that
// tests can answer them without a modal dialog.

// Filters are given as pairs "Description|pattern[|Description|pattern ...]", for example
// "Wavedateien|*.wav". Returns the full path of the chosen file, or an empty text when the user
// cancelled. defaultSuffix (without or with a leading "*." / ".") is added to a typed name that
// has no suffix.
QString ChooseOpenFile(QWidget *parent, const QString &title, const QString &filter,
                       const QString &initialDir, const QString &defaultSuffix = QString());
// The file to save to: a name that exists or not; overwriting one is confirmed in the chooser.
// Returns the full path, or an empty text when the user cancelled. defaultSuffix as above.
QString ChooseSaveFile(QWidget *parent, const QString &title, const QString &filter,
                       const QString &initialPath, const QString &defaultSuffix = QString());
// Returns the chosen folder, or an empty text when the user cancelled.
QString ChooseDirectory(QWidget *parent, const QString &title, const QString &initialDir);
// Returns the chosen colour, or an invalid colour when the user cancelled.
QColor ChooseColor(QWidget *parent, const QColor &initial);

// "Wavedateien|*.wav|Alle|*.*" -> "Wavedateien (*.wav);;Alle (*.*)"
QString qtFileFilter(const QString &pairs);

namespace DialogHook {
enum class Kind
{
    OpenFile,
    SaveFile,
    Directory,
    Color
};
struct Request
{
    Kind kind;
    QString title;
    QString filter;     // as the caller gave it
    QString initialDir; // for SaveFile the proposed path
    QString defaultSuffix;
    QColor initialColor;
};
// While a handler is installed no chooser is shown: the handler gets the request and returns
// the answer (a QString for files and folders, a QColor for colours); a null QVariant means
// "cancelled". An empty function shows the real choosers again.
using Handler = std::function<QVariant(const Request &request)>;
void setHandler(Handler handler);
} // namespace DialogHook
