#include "windows/StatisticsDialog.h"

#include "calls/CallJournal.h"
#include "calls/CallerDirectory.h"
#include "common/Clock.h"
#include "common/Errors.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "widgets/Icons.h"
#include "widgets/MessageDialog.h"
#include "widgets/StandardDialogs.h"
#include "widgets/ToolDialog.h"
#include "windows/JournalModel.h"
#include "windows/StatisticsChart.h"

#include <QBuffer>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr int kDayChoices[] = {30, 90};
} // namespace

StatisticsDialog::StatisticsDialog(CallJournal &journal, CallerDirectory &callers, QWidget *parent)
    : QDialog(parent), m_journal(journal), m_callers(callers)
{
    setObjectName(QStringLiteral("fmStatistik"));
    setWindowTitle(tr("Statistik"));
    setWindowIcon(Icons::trayIcon());
    m_calls = new JournalModel(this);

    Charts = new QTabWidget(this);
    Charts->setObjectName(QStringLiteral("Charts"));
    const std::pair<StatisticsChart::Kind, QString> pages[] = {
        {StatisticsChart::Kind::PerDay, tr("Pro Tag")},
        {StatisticsChart::Kind::WeekdayHour, tr("Wochentag und Uhrzeit")},
        {StatisticsChart::Kind::TopCallers, tr("Anrufer")},
        {StatisticsChart::Kind::PerMsn, tr("MSN")},
        {StatisticsChart::Kind::Blocked, tr("Gesperrt")},
    };
    for (const auto &[kind, caption] : pages)
        Charts->addTab(new StatisticsChart(kind, Charts), caption);

    LbSummary = new QLabel(this);
    LbSummary->setObjectName(QStringLiteral("LbSummary"));
    CbDays = new QComboBox(this);
    CbDays->setObjectName(QStringLiteral("CbDays"));
    for (int days : kDayChoices)
        CbDays->addItem(tr("Letzte %1 Tage").arg(days), days);
    CbDays->setToolTip(tr("Zeitraum der Anrufe pro Tag"));
    SaveBtn = new QPushButton(tr("Als &PNG speichern ..."), this);
    SaveBtn->setObjectName(QStringLiteral("SaveBtn"));
    CloseBtn = new QPushButton(tr("&Schließen"), this);
    CloseBtn->setObjectName(QStringLiteral("CloseBtn"));
    for (QPushButton *button : {SaveBtn, CloseBtn})
        button->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(LbSummary, 1);
    buttons->addWidget(CbDays);
    buttons->addWidget(SaveBtn);
    buttons->addWidget(CloseBtn);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Charts, 1);
    layout->addLayout(buttons);
    resize(640, 420);

    connect(CbDays, &QComboBox::currentIndexChanged, this, &StatisticsDialog::Recount);
    connect(SaveBtn, &QPushButton::clicked, this, &StatisticsDialog::SaveBtnClick);
    connect(CloseBtn, &QPushButton::clicked, this, &QDialog::close);
}

bool StatisticsDialog::Reload()
{
    TBusyCursor busy;
    try {
        m_calls->setCalls(m_journal.ReadCalls(), m_callers.BatchResolver());
        m_readError.clear();
    } catch (const IoError &e) {
        m_readError = e.message();
    }
    Recount();
    return m_readError.isEmpty();
}

void StatisticsDialog::SetCalls(const JournalModel &journal)
{
    m_calls->setCalls(journal.calls(), journal.callers());
    m_calls->setFilter(journal.filter());
    m_readError.clear();
    Recount();
}

void StatisticsDialog::SetFilter(const QString &text)
{
    m_calls->setFilter(text);
    Recount();
}

void StatisticsDialog::Recount()
{
    m_stats = CountCalls(m_calls->calls(), m_calls->callers(), Clock::now().toLocalTime().date(),
                         CbDays->currentData().toInt(), m_calls->shownIndexes());
    for (int i = 0; i < Charts->count(); ++i)
        static_cast<StatisticsChart *>(Charts->widget(i))->SetStatistics(m_stats);
    QString summary =
        m_stats.Calls == 1 ? tr("1 Anruf") : tr("%1 Anrufe").arg(QLocale().toString(m_stats.Calls));
    if (!m_calls->filter().trimmed().isEmpty())
        summary = tr("%1 mit „%2“").arg(summary, m_calls->filter().trimmed());
    LbSummary->setText(m_readError.isEmpty() ? summary : m_readError);
}

void StatisticsDialog::SaveBtnClick()
{
    auto *chart = static_cast<StatisticsChart *>(Charts->currentWidget());
    const QString path = ChooseSaveFile(
        this, tr("Diagramm speichern"), tr("PNG-Bilder|*.png"),
        Paths::homeDir() + QLatin1Char('/') + chart->title() + QStringLiteral(".png"), QStringLiteral("png"));
    if (path.isEmpty())
        return;
    try {
        TBusyCursor busy;
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        const QSize size = chart->isVisible() ? chart->size() : chart->sizeHint();
        if (!chart->Picture(size).save(&buffer, "PNG"))
            throw IoError(tr("Das Diagramm kann nicht als PNG-Bild gespeichert werden."), path);
        WriteFileAtomic(path, bytes, LinkMode::ReplaceLink);
    } catch (const IoError &e) {
        ShowMessageDlg(e.message());
    }
}

void ShowStatistics(CallJournal &journal, CallerDirectory &callers, QWidget *parent)
{
    StatisticsDialog *window = nullptr;
    for (auto *open : parent->findChildren<StatisticsDialog *>(Qt::FindDirectChildrenOnly)) {
        if (open->isVisible())
            window = open;
    }
    if (!window) {
        window = new StatisticsDialog(journal, callers, parent);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->Reload();
    }
    window->show();
    window->raise();
    window->activateWindow();
}
