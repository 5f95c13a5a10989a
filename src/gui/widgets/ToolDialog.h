#pragma once

#include <QDialog>
#include <QPointer>

// The program's modal dialogs: a title bar with only a close box, a fixed size, centred on the
// screen when first shown. FormShow runs once, before the first showing, and the focus goes
// to the widget named with setFocusOnShow each time the dialog is shown.
class TToolDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TToolDialog(QWidget *parent = nullptr);

protected:
    virtual void FormShow() {}
    void setFocusOnShow(QWidget *widget) { m_focus = widget; }
    // The dialog sees Escape before its controls: it closes the dialog (reject()) also from
    // inside a grid's cell editor, which would otherwise take the key for itself.
    void setEscapeFirst(bool on) { m_escapeFirst = on; }
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_focus;
    bool m_shown = false;
    bool m_escapeFirst = false;
};

// Moves a top-level window to the centre of its screen.
void CenterOnScreen(QWidget *window);

// The busy cursor while it lives (a long load or save of a window).
class TBusyCursor
{
public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};
