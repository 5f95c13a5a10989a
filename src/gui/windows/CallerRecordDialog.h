#pragma once

#include "widgets/ToolDialog.h"

#include <QString>

class CallerDirectory;
class DInfoService;
class QCheckBox;
class QLineEdit;
class QPushButton;

// "Anruferdaten": one entry of the caller directory, opened from the main window's call list so
// the user can name or block a caller that has just rung. The key cannot be changed. A key
// without an entry of its own starts from the name and flag of the entry that answers it (its
// group key). "Über&nehmen" writes name and "Gesperrt" under the key so that they take effect
// (CallerDirectory::WriteOwnCaller: before a group key that would answer first), "&Abrechen"
// writes nothing.
class TfmStamm : public TToolDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 250;
    static constexpr int kClientHeight = 146;

    TfmStamm(CallerDirectory &callers, const QString &key, DInfoService *dinfo = nullptr,
             QWidget *parent = nullptr);

    // The name field as it stands.
    QString name() const;

protected:
    void FormShow() override;
    void changeEvent(QEvent *event) override;

private:
    void ChangeBtnClick();
    void DInfoBtnClick();

    QLineEdit *EdNummer;
    QLineEdit *EdName;
    QCheckBox *cbOut;
    QPushButton *ChangeBtn;
    QPushButton *AbortBtn;
    QPushButton *DInfoBtn;

    CallerDirectory &FCallers;
    const QString FKey;
    // The standing D-Info connection the "&D-Info" button searches through, or null.
    DInfoService *FDInfo;
};

// Opens the record dialog for `key` and returns the name field as the dialog closed, saved or
// not, or the key itself when the field is empty.
QString EditCaller(CallerDirectory &callers, const QString &key, DInfoService *dinfo = nullptr,
                   QWidget *parent = nullptr);

// Blocks the caller of `key` as the record dialog does when "Gesperrt" is ticked and saved: the
// name stays, the entry is written blocked, so that it takes effect (a key without entry gets
// one, blocked, with the name of the entry that answered it: a group key's name, or none).
// A failed write is shown to the user; the result is then false.
bool BlockCaller(CallerDirectory &callers, const QString &key);

// Whether `key` can stand for a caller at all: keys of fewer than 2 characters (a call without
// number) never match, so blocking or naming them would change nothing.
bool IsCallerKey(const QString &key);
