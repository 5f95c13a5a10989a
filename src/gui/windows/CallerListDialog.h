#pragma once

#include "calls/CallerDirectory.h"
#include "widgets/ToolDialog.h"

class CallerListModel;
struct ContactImportPlans;
class QLabel;
class QPushButton;
class QRadioButton;
class DInfoService;
class TCapi20;
class TGridView;

// "Anrufer": every caller of the directory in an editable grid (number, name, "Gesperrt"),
// sorted by name or by number. Callers are added, deleted, named, blocked (any text in
// "Gesperrt"), looked up in D-Info and dialled from here. The grid is the working copy: closing
// asks "Änderungen speichern ?" and writes the list in the grid's order, but only the rows the
// user edited: what changed in the directory while the window was open (a caller the ring
// handler learned, one blocked or named from a notice or the journal) is kept. A list the
// directory cannot store is reported and the window stays open with the user's edits.
//
// "&Importieren ..." names callers from an address book file (vCard or CSV): it reads the file
// and works out what would change on a worker thread (the window takes no input meanwhile, rings
// are answered), then shows it, asks, and saves the list with the import in one write (as
// "&Löschen" does, with the other edits of the grid).
class TfmAnruf : public TToolDialog
{
    Q_OBJECT
public:
    static constexpr int kClientWidth = 405;
    static constexpr int kClientHeight = 300;
    // Column widths: number, name (less the scroll bar from 13 rows on), "Gesperrt".
    static constexpr int kNumberWidth = 126;
    static constexpr int kNameWidth = 172;
    static constexpr int kBlockedWidth = 49;

    // `capi` dials for "&Anwahl"; without one the button only changes its caption.
    TfmAnruf(CallerDirectory &callers, TCapi20 *capi, DInfoService *dinfo = nullptr,
             QWidget *parent = nullptr);

    // Closing ("Schli&eßen", Escape, the close box): writes ISDN_CallSortOrder and asks whether
    // to save; a save that fails keeps the window open.
    void reject() override;

protected:
    void FormShow() override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void HinweisBtnClick();
    void NeuBtnClick();
    void DelBtnClick();
    void DInfoBtnClick();
    void DialBtnClick();
    void ImportBtnClick();
    void ImportPlanned(const ContactImportPlans &plans);

    QLabel *Image1;
    QLabel *Label1;
    QRadioButton *rbSortNummer;
    QRadioButton *rbSortName;
    TGridView *dbl;
    CallerListModel *model;
    QPushButton *HinweisBtn;
    QPushButton *DInfoBtn;
    QPushButton *NeuBtn;
    QPushButton *DelBtn;
    QPushButton *DialBtn;
    QPushButton *CloseBtn;
    QPushButton *ImportBtn;
    // 0: DialBtn dials ("&Anwahl"), 1: it hangs up ("&Auflegen").
    int DialTag = 0;

    CallerSortOrder Order() const;
    void LoadList();
    bool SaveList();
    int CurrentRow() const;
    void SortChanged(bool checked);

    CallerDirectory &FCallers;
    TCapi20 *FCapi;
    // The standing D-Info connection the "&D-Info" button searches through, or null.
    DInfoService *FDInfo;
    // The list as the grid was loaded with it: saving writes only the rows edited since, and
    // keeps what changed in the file meanwhile.
    QList<CallerRecord> FLoaded;
    bool FReady = false;
};

// The main window's "Anruferübersicht": shows the caller list modally.
void ShowCallerList(CallerDirectory &callers, TCapi20 *capi, DInfoService *dinfo = nullptr,
                    QWidget *parent = nullptr);
