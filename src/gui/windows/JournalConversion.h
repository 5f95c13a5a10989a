#pragma once

#include "calls/CallJournal.h"

#include <QWidget>
#include <optional>

class QLabel;
class TAnimate;

// "Datenkonvertierung": the small window shown while the call journal is converted once at
// program start. Not modal; the conversion serves pending events after every record so that
// the animation keeps running.
class TfmUpdate : public QWidget
{
    Q_OBJECT
public:
    explicit TfmUpdate(QWidget *parent = nullptr);
    ~TfmUpdate() override;

    // The conversion starts: new label text at once, animation and busy cursor on.
    void conversionStarted();
    // Called after every converted record: keeps the window painting.
    void conversionStep();
    // Animation and busy cursor off.
    void conversionEnded();

private:
    TAnimate *Animate1;
    QLabel *Aktion;

    bool m_busyCursor = false;
};

// Program start: when ISDN_Update20 is clear, shows "Datenkonvertierung" and converts the call
// journal in `folder` (default: the data folder) once; when it is set, does nothing. A failed
// conversion is shown through the message dialog, leaves the journal as it was and
// ISDN_Update20 clear, so the next start tries again; the result is then empty. A journal whose
// records fit neither form is left as it is and looked at again at every start; the user is told
// about it once (CallJournal::UndecidedNotice).
std::optional<CallJournal::Conversion> RunJournalConversion(const QString &folder = QString());
