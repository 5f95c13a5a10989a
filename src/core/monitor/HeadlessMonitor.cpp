#include "monitor/HeadlessMonitor.h"

#include "calls/CallJournal.h"
#include "common/Errors.h"
#include "monitor/CallPipeline.h"
#include "monitor/CapiSession.h"
#include "monitor/DInfoService.h"
#include "monitor/MonitorOptions.h"
#include "settings/SettingKeys.h"
#include "settings/SettingsStore.h"

#include <QDateTime>

HeadlessMonitor::HeadlessMonitor(Log log, QObject *parent)
    : QObject(parent), m_log(std::move(log)), m_dinfo(std::make_unique<DInfoService>()),
      m_session(std::make_unique<CapiSession>()),
      m_pipeline(std::make_unique<CallPipeline>(*m_session, *m_dinfo))
{
    connect(m_session.get(), &CapiSession::listenStateChanged, this,
            [this](CapiSession::ListenState state) { m_log(CapiSession::ListenStateText(state)); });
    connect(m_session.get(), &CapiSession::listenFailed, this,
            [this] { m_log(CapiSession::ListenFailedText()); });
    connect(m_pipeline.get(), &CallPipeline::callShown, this,
            [this](const ShownCall &call) { m_log(CallLine(call)); });
    connect(m_pipeline.get(), &CallPipeline::storeError, this, [this](const QString &text) { m_log(text); });
    connect(m_dinfo.get(), &DInfoService::message, this, [this](const QString &text) { m_log(text); });
    connect(m_dinfo.get(), &DInfoService::status, this, [this](const QString &text) { m_log(text); });
}

HeadlessMonitor::~HeadlessMonitor()
{
    Close();
}

QString HeadlessMonitor::CallLine(const ShownCall &call)
{
    const RingDecision &d = call.Decision;
    QString line = CallListEntry(call.Rang.time(), d);
    if (!d.Number.isEmpty() && d.Label != d.Number)
        line += QStringLiteral(" (") + d.Number + QLatin1Char(')');
    return line + QStringLiteral(" - ") + d.Status;
}

void HeadlessMonitor::ConvertJournal()
{
    try {
        CallJournal journal;
        if (journal.ConvertJournal() == CallJournal::Conversion::Undecided) {
            const QString notice = journal.UndecidedNotice();
            if (!notice.isEmpty())
                m_log(notice);
        }
    } catch (const IoError &e) {
        m_log(e.message());
    }
}

void HeadlessMonitor::Start()
{
    ConvertJournal();
    m_pipeline->Open();
    MonitorOptions options = MonitorOptions::FromSettings();
    m_pipeline->SetOptions(options);
    // No transfer pages here: data calls are not taken.
    m_session->SetServerMode(false, options.ShowExtWin);
    m_session->Start();
    // "Aktiv"
    if (Settings::Read(Settings::UseExtern))
        m_session->StartListen();
    else
        m_session->StopListen();
    if (options.RunDInfo)
        m_dinfo->Start();
}

void HeadlessMonitor::Close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_pipeline->BeginClose();
    m_dinfo->Stop();
    // Nobody to ask: a save that fails now is logged, and what it held stays unsaved.
    m_pipeline->Close([this](const IoError &error) {
        m_log(error.message());
        return false;
    });
    m_session->Close();
}
