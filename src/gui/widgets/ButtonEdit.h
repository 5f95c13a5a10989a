#pragma once

#include <QLineEdit>

class QAction;

// An edit field with an optional side button (also reached with F2), an optional digits-only
// input mode, in which nothing but the digits 0 to 9 can be typed or pasted, and an optional
// lower-case mode, in which whatever is set, typed or pasted turns to lower case.
class TButtonEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TButtonEdit(QWidget *parent = nullptr);

    void setButtonVisible(bool visible);
    bool buttonVisible() const;
    void setDigitsOnly(bool digitsOnly);
    bool digitsOnly() const { return m_digitsOnly; }
    void setLowerCase(bool lowerCase);
    // The side button as an action, e.g. for tests.
    QAction *buttonAction() const { return m_button; }

signals:
    void buttonClicked();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QAction *m_button;
    bool m_digitsOnly = false;
    QMetaObject::Connection m_lowerCase;
};
