#pragma once

#include "dinfo/DInfoClient.h"
#include "widgets/ToolDialog.h"

#include <QPointer>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TTrayIcon;

// "D-Info - Suche": looks a number up in the telephone-directory program (a reverse search) and
// hands the found name over. It also serves the standing connection of the automatic look-up,
// invisibly, while "Anrufer bei Anruf aus D-Info ermitteln" is on. The program behind it is
// DDE1 (DInfoClient: program file, conversation, answer file).
class TfmDInfo : public TToolDialog
{
    Q_OBJECT
public:
    explicit TfmDInfo(QWidget *parent = nullptr);
    ~TfmDInfo() override;

    // Reads ISDN_DInfoDir (empty: the per-user default folder, provisioned with the stand-in)
    // and ISDN_DInfoVersion and makes the client for them.
    void ReadSettings();

    QString DInfoDir;
    int DInfoVersion = 0;
    QString DInfoExe;
    bool Found = false;
    bool Aborted = false;

    QLabel *lbMsg = nullptr;
    QLineEdit *edNummer = nullptr;
    QToolButton *searchBtn = nullptr;
    QLabel *lbTN = nullptr;
    QPushButton *AbortBtn = nullptr;
    QPushButton *ChangeBtn = nullptr;
    DInfoClient *DDE1 = nullptr;
    TTrayIcon *DInfoTask = nullptr;

    // The start procedure: starts the directory program and waits for it. On failure the two
    // buttons are disabled and "Fehler beim Laden von DInfo ..." is shown.
    bool StartDInfo();
    // Sends the number of edNummer and shows the answer in lbTN; Found tells whether it named
    // somebody. The outcome is kept in LastSearch.
    void Search();
    DInfoSearch LastSearch;

    void searchBtnClick();
    void ChangeBtnClick();
    void AbortBtnClick();

    // Set for the dialog of the standing connection: closing it only hides it.
    bool ServesConnection = false;

    // The label of the found subscriber: its picture and text.
    static constexpr const char *kNotFound = "Kein Teilnehmer gefunden !";
    static constexpr const char *kDdeError = "DDE Fehler !";

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void StartOnShow();
    bool m_started = false;
};

// True while the standing connection runs (the program is started and waits hidden).
extern bool DInfoRunning;
// True while DInfoStart waits for the program to come up.
extern bool DInfoStarting;
// The dialog of the standing connection, while DInfoRunning.
extern QPointer<TfmDInfo> fmDInfo;

// The "&D-Info" buttons of the caller list and the caller record dialog: shows the search
// dialog for Number (starting the program unless the standing connection runs) and returns the
// name the user took over, or Name unchanged when nothing was found, the search was aborted or
// the program is missing ("D-Info nicht installiert !").
QString DInfoLookup(const QString &Number, const QString &Name);
// The automatic look-up of a ring: while the standing connection runs, Name becomes Number and
// then the found name, if any; otherwise Name stays. No window is shown. The outcome tells a
// failed look-up (the program gone, a refused request, no answer in time) from one that found
// nobody; a failure never puts any text but the number into Name.
DInfoSearch DInfoAutoLookup(const QString &Number, QString &Name);
// Starts the standing connection; when the program file is missing, ISDN_RunDInfo is cleared
// and "D-Info nicht installiert !" / "Funktion wurde deaktiviert ." is shown.
void DInfoStart();
// Ends the standing connection (a running search is aborted); nothing when none runs.
void DInfoStop();
