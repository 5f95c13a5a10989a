#include "common/Clock.h"

#include <mutex>

namespace {
std::mutex g_lock;
std::function<QDateTime()> g_source;
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
