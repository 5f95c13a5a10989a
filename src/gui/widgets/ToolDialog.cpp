#include "widgets/ToolDialog.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScreen>

TToolDialog::TToolDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{}

void TToolDialog::showEvent(QShowEvent *event)
{
    if (!m_shown) {
        m_shown = true;
        FormShow();
        CenterOnScreen(this);
    }
    QDialog::showEvent(event);
    if (m_focus)
        m_focus->setFocus();
    if (m_escapeFirst)
        qApp->installEventFilter(this);
}

void TToolDialog::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    QDialog::hideEvent(event);
}

bool TToolDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent *>(event)->modifiers() == Qt::NoModifier && watched->isWidgetType()) {
        // Only for this dialog's own controls, and not while a dialog it opened is in front.
        auto *widget = static_cast<QWidget *>(watched);
        QWidget *modal = QApplication::activeModalWidget();
        if ((widget == this || isAncestorOf(widget)) && (!modal || modal == this)) {
            reject();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CenterOnScreen(QWidget *window)
{
    QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (screen)
        window->move(screen->availableGeometry().center() -
                     QPoint(window->width() / 2, window->height() / 2));
}

TBusyCursor::TBusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

TBusyCursor::~TBusyCursor()
{
    QApplication::restoreOverrideCursor();
}
