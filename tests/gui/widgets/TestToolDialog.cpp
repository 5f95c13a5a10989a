// The modal dialogs' base: with "Escape first", Escape closes the dialog whichever of its controls
// has the focus (a grid's cell editor would otherwise take the key), but not while a dialog it
// opened is in front.
#include "widgets/ToolDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {
// An edit that keeps Escape for itself, as a grid's cell editor does.
class GreedyEdit : public QLineEdit
{
public:
    using QLineEdit::QLineEdit;
    int escapes = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape) {
            ++escapes;
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

class EscapeDialog : public TToolDialog
{
public:
    explicit EscapeDialog(bool escapeFirst, QWidget *parent = nullptr) : TToolDialog(parent)
    {
        edit = new GreedyEdit(this);
        button = new QPushButton(QStringLiteral("&Weiter"), this);
        button->move(0, 30);
        setEscapeFirst(escapeFirst);
    }
    GreedyEdit *edit;
    QPushButton *button;
};
} // namespace

class TestToolDialog : public QObject
{
    Q_OBJECT
private slots:
    void escapeSentToAFocusedControlClosesTheDialog()
    {
        for (const bool toButton : {false, true}) {
            EscapeDialog dialog(true);
            dialog.show();
            QWidget *target = toButton ? static_cast<QWidget *>(dialog.button) : dialog.edit;
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(dialog.edit->escapes, 0);
        }

        // Without it the control keeps the key and the dialog stays.
        EscapeDialog plain(false);
        plain.show();
        QTest::keyClick(plain.edit, Qt::Key_Escape);
        QVERIFY(plain.isVisible());
        QCOMPARE(plain.edit->escapes, 1);
    }

    void aDialogInFrontTakesItsOwnEscape()
    {
        EscapeDialog outer(true);
        outer.show();
        EscapeDialog inner(true, &outer);
        inner.setModal(true);
        inner.show();
        QTest::keyClick(inner.edit, Qt::Key_Escape);
        QVERIFY(!inner.isVisible());
        QVERIFY(outer.isVisible());
        // The outer dialog's own controls still close it, once the inner one is gone.
        QTest::keyClick(outer.edit, Qt::Key_Escape);
        QVERIFY(!outer.isVisible());
    }
};

QTEST_MAIN(TestToolDialog)
#include "TestToolDialog.moc"
