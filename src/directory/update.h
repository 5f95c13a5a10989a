#pragma once

#include <QWidget>

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

    TAnimate *Animate1;
    QLabel *Aktion;

    // The conversion starts: new label text at once, animation and busy cursor on.
    void conversionStarted();
    // Called after every converted record: keeps the window painting.
    void conversionStep();
    // Animation and busy cursor off.
    void conversionEnded();

private:
    bool m_busyCursor = false;
};
