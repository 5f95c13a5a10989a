#pragma once

#include "widgets/ToolDialog.h"

class QLabel;
class QPlainTextEdit;

// "Hinweise / Release Information": the release notes readme.txt (code page 850) in a read-only
// text box. Escape closes it.
class TfmReadme : public TToolDialog
{
    Q_OBJECT
public:
    explicit TfmReadme(QWidget *parent = nullptr);

    // Fills Memo with the file at `path`, line by line, each line whole. A missing file shows
    // "Keine Hinweise vorhanden ...", one that cannot be read a message naming it; both give
    // false and leave Memo empty.
    bool LoadFile(const QString &path);

private:
    QLabel *Image1;
    QPlainTextEdit *Memo;
};

// The shipped release notes: readme.txt beside the executable, else in the installed share folder.
QString ReadmePath();
// Shows the release notes at `path` modally, or only the message when they cannot be shown.
void ShowReadme(QWidget *parent = nullptr, const QString &path = ReadmePath());
