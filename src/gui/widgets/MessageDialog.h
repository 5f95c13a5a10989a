#pragma once

#include <QString>
#include <functional>

// Every notice and yes/no question of the program goes through these two functions.
// Kinds: 0 "&Nein"/"&Ja", 1 "&Abbrechen"/"&Weiter", 2 only "&Weiter", 3 "&Weiter"/"&Ignorieren".
// A carriage return in the text breaks the line.

void ShowMessageDlg(const QString &text);
// True exactly when the right-hand button was pressed.
bool AskMessageDlg(const QString &text, int kind);
// Runs a write of a setting now; a failed write (IoError) is shown to the user and reported as
// false.
bool StoreSetting(const std::function<void()> &write);

namespace MsgDlgHook {
// Tests answer the next dialogs without showing them: the handler receives the text and kind
// and returns what the right-hand button would (true) or not (false). While a handler is
// installed no dialog is shown. An empty function shows real dialogs again.
using Handler = std::function<bool(const QString &text, int kind)>;
void setHandler(Handler handler);
} // namespace MsgDlgHook
