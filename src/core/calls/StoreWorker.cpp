#include "calls/StoreWorker.h"

#include <QCoreApplication>
#include <QDebug>

#include <chrono>

namespace {
constexpr std::chrono::seconds kRetryAfter{1};
}

StoreWorker::StoreWorker(Drain drain) : m_drain(std::move(drain)) {}

StoreWorker::~StoreWorker()
{
    stop();
}

void StoreWorker::setErrorHandler(ErrorHandler handler)
{
    std::lock_guard guard(m_lock);
    m_onError = std::move(handler);
}

void StoreWorker::wake()
{
    std::lock_guard guard(m_lock);
    if (m_stopping)
        return;
    m_woken = true;
    if (!m_thread.joinable())
        m_thread = std::thread([this] { run(); });
    m_wakeUp.notify_one();
}

void StoreWorker::stop()
{
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
        m_wakeUp.notify_one();
    }
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void StoreWorker::finish(const std::function<bool()> &hasPending)
{
    stop();
    if (!hasPending())
        return;
    try {
        m_drain();
    } catch (const IoError &error) {
        qWarning().noquote() << error.message();
    }
}

void StoreWorker::report(const IoError &error)
{
    ErrorHandler handler;
    {
        std::lock_guard guard(m_lock);
        handler = m_onError;
    }
    try {
        if (handler) {
            handler(error);
            return;
        }
    } catch (...) {
        // A throwing handler must not end the thread; the log below still tells.
    }
    qWarning().noquote() << error.message();
}

void StoreWorker::run()
{
    bool retry = false;
    std::unique_lock lock(m_lock);
    for (;;) {
        const auto ready = [this] { return m_stopping || m_woken; };
        if (retry) {
            if (!m_wakeUp.wait_for(lock, kRetryAfter, ready))
                m_woken = true;
        } else {
            m_wakeUp.wait(lock, ready);
        }
        if (m_stopping)
            return;
        m_woken = false;
        lock.unlock();
        retry = false;
        try {
            m_drain();
        } catch (const IoError &error) {
            retry = true;
            report(error);
        } catch (const std::exception &error) {
            retry = true;
            report(IoError(QString::fromLocal8Bit(error.what()), QString()));
        } catch (...) {
            retry = true;
            report(IoError(QCoreApplication::translate("StoreWorker", "Unbekannter Fehler beim Schreiben"),
                           QString()));
        }
        lock.lock();
    }
}
