#include "widgets/ButtonEdit.h"

#include "widgets/Icons.h"

#include <QAction>
#include <QKeyEvent>
#include <QRegularExpressionValidator>

TButtonEdit::TButtonEdit(QWidget *parent) : QLineEdit(parent)
{
    m_button = addAction(Icons::browseIcon(), QLineEdit::TrailingPosition);
    m_button->setToolTip(tr("Auswählen ... (F2)"));
    m_button->setVisible(false);
    connect(m_button, &QAction::triggered, this, &TButtonEdit::buttonClicked);
}

void TButtonEdit::setButtonVisible(bool visible)
{
    m_button->setVisible(visible);
}

bool TButtonEdit::buttonVisible() const
{
    return m_button->isVisible();
}

void TButtonEdit::setDigitsOnly(bool digitsOnly)
{
    m_digitsOnly = digitsOnly;
    if (digitsOnly)
        setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    else
        setValidator(nullptr);
}

void TButtonEdit::setLowerCase(bool lowerCase)
{
    disconnect(m_lowerCase);
    if (!lowerCase)
        return;
    const auto lower = [this](const QString &text) {
        const QString wanted = text.toLower();
        if (wanted == text)
            return;
        const int cursor = cursorPosition();
        setText(wanted);
        setCursorPosition(cursor);
    };
    m_lowerCase = connect(this, &QLineEdit::textChanged, this, lower);
    lower(text());
}

void TButtonEdit::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F2 && m_button->isVisible() && event->modifiers() == Qt::NoModifier) {
        emit buttonClicked();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
