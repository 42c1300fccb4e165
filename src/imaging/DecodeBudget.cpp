#include "imaging/DecodeBudget.h"

#include <algorithm>

DecodeBudget::Reservation::~Reservation()
{
    if (m_budget)
        m_budget->release(m_bytes);
}

std::optional<DecodeBudget::Reservation> DecodeBudget::reserve(qint64 bytes)
{
    bytes = std::max<qint64>(bytes, 1);
    if (bytes > m_capacity)
        return std::nullopt;
    std::unique_lock lock(m_mutex);
    // First come, first served: a large request is not overtaken for ever by small ones.
    const quint64 ticket = m_nextTicket++;
    m_changed.wait(lock, [&] { return ticket == m_serving && m_used + bytes <= m_capacity; });
    m_used += bytes;
    m_peak = std::max(m_peak, m_used);
    ++m_serving;
    lock.unlock();
    m_changed.notify_all(); // the next in line may fit too
    return Reservation(this, bytes);
}

void DecodeBudget::release(qint64 bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_used -= bytes;
    }
    m_changed.notify_all();
}

qint64 DecodeBudget::inUse() const
{
    std::lock_guard lock(m_mutex);
    return m_used;
}

qint64 DecodeBudget::peak() const
{
    std::lock_guard lock(m_mutex);
    return m_peak;
}

int DecodeBudget::waiting() const
{
    std::lock_guard lock(m_mutex);
    return int(m_nextTicket - m_serving);
}

DecodeBudget &DecodeBudget::shared()
{
    static DecodeBudget budget(qint64(256) * 1024 * 1024);
    return budget;
}
