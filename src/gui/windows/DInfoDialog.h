#pragma once

#include "dinfo/DInfoClient.h"
#include "widgets/ToolDialog.h"

#include <QPointer>
#include <QString>

class DInfoService;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TTrayIcon;

// "D-Info - Suche": looks a number up in the telephone-directory program (a reverse search) and
// hands the found name over. While the standing connection of the automatic look-up runs, the
// window searches through it; otherwise it starts a program of its own once it is shown and ends
// it when it closes.
class TfmDInfo : public TToolDialog
{
    Q_OBJECT
public:
    // `service`: the standing connection, or null.
    explicit TfmDInfo(DInfoService *service, QWidget *parent = nullptr);
    ~TfmDInfo() override;

    // Whether a program to search with is there (the standing connection, or the program file).
    bool ProgramExists() const;
    // Shows the window for `number`, with `name` as the subscriber until a search names another;
    // returns the name the user took over, or `name` when the search found nobody or was broken
    // off.
    QString LookUp(const QString &number, const QString &name);

    // The label of the found subscriber: its picture and text.
    static constexpr const char *kNotFound = QT_TRANSLATE_NOOP("TfmDInfo", "Kein Teilnehmer gefunden !");
    static constexpr const char *kDdeError = QT_TRANSLATE_NOOP("TfmDInfo", "DDE Fehler !");

public slots:
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    // The start procedure of a program of its own: starts it and waits for it. On failure the
    // two buttons are disabled and "Fehler beim Laden von DInfo ..." is shown.
    bool StartDInfo();
    void StartOnShow();
    // Sends the number of edNummer and shows the answer in lbTN.
    void Search();
    void searchBtnClick();
    void AbortBtnClick();
    DInfoClient *Client() const;

    QLabel *lbMsg = nullptr;
    QLineEdit *edNummer = nullptr;
    QToolButton *searchBtn = nullptr;
    QLabel *lbTN = nullptr;
    QPushButton *AbortBtn = nullptr;
    QPushButton *ChangeBtn = nullptr;
    QPointer<DInfoService> m_service;
    // The standing connection's client while the window searches through it, else its own.
    QPointer<DInfoClient> m_shared;
    DInfoClient *m_own = nullptr;
    TTrayIcon *DInfoTask = nullptr;
    bool m_found = false;
    bool m_started = false;
};

// The "D-Info 97 - Datenbank" icon shown while a D-Info 97 program runs (it shows itself in the
// notification area).
TTrayIcon *MakeDInfoTrayIcon(QObject *parent);

// The "&D-Info" buttons of the caller list and the caller record dialog: shows the search
// window for `number` through the standing connection `service` (null or not running: a program
// of its own) and returns the name the user took over, or `name` unchanged when nothing was
// found, the search was aborted or the program is missing ("D-Info nicht installiert !").
QString DInfoLookup(DInfoService *service, const QString &number, const QString &name);
