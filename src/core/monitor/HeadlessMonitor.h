#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CallPipeline;
class CapiSession;
class DInfoService;
struct ShownCall;

// The monitor without a display (rufwart --headless): the CAPI session, the caller directory and
// the journal, and the automatic look-up, with the stored options as they stand at the start.
// It answers the line exactly as the window would with the same settings; what the window would
// show goes to the log as one line each.
class HeadlessMonitor : public QObject
{
    Q_OBJECT
public:
    using Log = std::function<void(const QString &line)>;

    explicit HeadlessMonitor(Log log, QObject *parent = nullptr);
    ~HeadlessMonitor() override;

    // Converts an old journal (once), opens the stores, starts the look-up if it is on, and
    // listens if "Aktiv" is on.
    void Start();
    // The end: the calls answered but not yet logged still reach the files, what is queued is
    // written (a failed write is logged), and the CAPI registration is released. Once.
    void Close();

    CapiSession &Session() const { return *m_session; }
    CallPipeline &Pipeline() const { return *m_pipeline; }

    // The line logged for a call.
    static QString CallLine(const ShownCall &call);

private:
    void ConvertJournal();

    Log m_log;
    std::unique_ptr<DInfoService> m_dinfo;
    std::unique_ptr<CapiSession> m_session;
    std::unique_ptr<CallPipeline> m_pipeline;
    bool m_closed = false;
};
