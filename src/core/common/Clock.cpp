#include "common/Clock.h"

#include <chrono>
#include <mutex>

namespace {
std::mutex g_lock;
std::function<QDateTime()> g_source;
std::function<qint64()> g_tickSource;
} // namespace

QDateTime Clock::now()
{
    std::function<QDateTime()> source;
    {
        std::lock_guard guard(g_lock);
        source = g_source;
    }
    return source ? source() : QDateTime::currentDateTime();
}

void Clock::setSource(std::function<QDateTime()> source)
{
    std::lock_guard guard(g_lock);
    g_source = std::move(source);
}

qint64 Clock::ticks()
{
    std::function<qint64()> source;
    {
        std::lock_guard guard(g_lock);
        source = g_tickSource;
    }
    if (source)
        return source();
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void Clock::setTickSource(std::function<qint64()> source)
{
    std::lock_guard guard(g_lock);
    g_tickSource = std::move(source);
}
