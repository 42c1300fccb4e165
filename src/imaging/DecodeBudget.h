#pragma once

#include <QtGlobal>

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <utility>

// Memory, in bytes, shared by decodes running at the same time. A decode reserves what it
// expects to allocate before it starts and gives it back when done; it waits while others
// hold too much, in the order the requests came. A request larger than the whole budget is
// refused at once, since waiting could never satisfy it.
class DecodeBudget
{
public:
    explicit DecodeBudget(qint64 capacity) : m_capacity(capacity) {}
    DecodeBudget(const DecodeBudget &) = delete;
    DecodeBudget &operator=(const DecodeBudget &) = delete;

    // Held bytes, given back when it is destroyed.
    class Reservation
    {
    public:
        Reservation(Reservation &&other) noexcept
            : m_budget(std::exchange(other.m_budget, nullptr)), m_bytes(other.m_bytes) {}
        Reservation(const Reservation &) = delete;
        Reservation &operator=(const Reservation &) = delete;
        Reservation &operator=(Reservation &&) = delete;
        ~Reservation();

    private:
        friend class DecodeBudget;
        Reservation(DecodeBudget *budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}
        DecodeBudget *m_budget;
        qint64 m_bytes;
    };

    // Waits for `bytes` (at least 1) and holds them; nothing when they exceed the capacity.
    std::optional<Reservation> reserve(qint64 bytes);

    qint64 capacity() const { return m_capacity; }
    qint64 inUse() const;
    qint64 peak() const; // the most held at once so far
    int waiting() const; // requests not yet served

    // The budget every decodeImage call draws on: 256 MB.
    static DecodeBudget &shared();

private:
    void release(qint64 bytes);

    const qint64 m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    qint64 m_used = 0;
    qint64 m_peak = 0;
    quint64 m_nextTicket = 0; // handed to each request in turn
    quint64 m_serving = 0;    // the ticket whose turn it is
};

// Decoder state, tables and small buffers that any decode needs besides its pictures.
inline constexpr qint64 decodeOverheadBytes = qint64(1) << 20;

// Byte counts worked out from untrusted headers: they stop at a value no budget holds
// instead of overflowing. Both arguments are non-negative.
inline qint64 saturatingMul(qint64 a, qint64 b)
{
    qint64 product;
    return __builtin_mul_overflow(a, b, &product) ? std::numeric_limits<qint64>::max() : product;
}
inline qint64 saturatingAdd(qint64 a, qint64 b)
{
    qint64 sum;
    return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<qint64>::max() : sum;
}
