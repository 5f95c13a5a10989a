#include "windows/JournalConversion.h"

#include "settings/SettingsStore.h"
#include "widgets/Animate.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"
#include "widgets/ToolDialog.h"

#include <QApplication>
#include <QLabel>

TfmUpdate::TfmUpdate(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("fmUpdate"));
    setWindowTitle(tr("Datenkonvertierung"));
    setFixedSize(280, 72);

    Animate1 = new TAnimate(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(10, 12, 48, 48);
    Animate1->setFrames(Icons::convertFrames(48), 90);
    Animate1->setRestFrame(8);

    Aktion = new QLabel(tr("Bitte warten ..."), this);
    Aktion->setObjectName(tr("Aktion"));
    Aktion->setGeometry(70, 26, 200, 20);

    CenterOnScreen(this);
}

TfmUpdate::~TfmUpdate()
{
    if (m_busyCursor)
        QApplication::restoreOverrideCursor();
}

void TfmUpdate::conversionStarted()
{
    if (!m_busyCursor) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_busyCursor = true;
    }
    Aktion->setText(tr("Konvertiere Anruf-Journal ..."));
    Aktion->repaint();
    Animate1->play();
}

void TfmUpdate::conversionStep()
{
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TfmUpdate::conversionEnded()
{
    Animate1->stop();
    if (m_busyCursor) {
        QApplication::restoreOverrideCursor();
        m_busyCursor = false;
    }
}

std::optional<CallJournal::Conversion> RunJournalConversion(const QString &folder)
{
    if (Settings::Read(Settings::Update20))
        return CallJournal::Conversion::AlreadyDone;
    TfmUpdate window;
    window.show();
    window.conversionStep(); // let it appear before the work starts
    CallJournal journal(folder);
    QString failure;
    std::optional<CallJournal::Conversion> result;
    try {
        result = journal.ConvertJournal([&window](qint64 done, qint64) {
            if (done == 0)
                window.conversionStarted();
            window.conversionStep();
        });
    } catch (const IoError &e) {
        failure = e.message();
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    window.conversionEnded();
    if (result == CallJournal::Conversion::Undecided) {
        // Looked at again at every start, told once.
        try {
            failure = journal.UndecidedNotice();
        } catch (const IoError &e) {
            failure = e.message();
        }
    }
    if (!failure.isEmpty()) {
        window.hide();
        ShowMessageDlg(failure);
    }
    return result;
}
