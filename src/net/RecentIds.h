#pragma once

#include <QSet>
#include <QString>

#include <deque>

// The message ids seen last, at most `capacity` of them: a receiver drops a message it already
// had (QoS 1 may deliver one twice) with bounded memory.
class RecentIds
{
public:
    explicit RecentIds(size_t capacity = 4096) : m_capacity(capacity) {}

    // True when `id` is new (and now remembered).
    bool Add(const QString &id)
    {
        if (m_ids.contains(id))
            return false;
        m_ids.insert(id);
        m_order.push_back(id);
        if (m_order.size() > m_capacity) {
            m_ids.remove(m_order.front());
            m_order.pop_front();
        }
        return true;
    }

private:
    size_t m_capacity;
    QSet<QString> m_ids;
    std::deque<QString> m_order;
};
