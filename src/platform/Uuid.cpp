#include "platform/Uuid.h"

#include <random>

QString makeUuidString()
{
    // One securely seeded generator per thread: a scan makes an id per photo, and a
    // system call per id would cost a noticeable share of the walk.
    thread_local std::mt19937_64 generator = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(),
                           device(), device()};
        return std::mt19937_64(seed);
    }();

    quint64 high = generator();
    quint64 low = generator();
    high = (high & ~quint64(0xF000)) | quint64(0x4000);                   // version 4
    low = (low & ~(quint64(0xC) << 60)) | (quint64(0x8) << 60);           // RFC 4122 variant

    static constexpr char16_t digits[] = u"0123456789ABCDEF";
    QString text(36, Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    int pos = 0;
    auto put = [&](quint64 value, int nibbles) {
        for (int shift = (nibbles - 1) * 4; shift >= 0; shift -= 4)
            out[pos++] = digits[(value >> shift) & 0xF];
    };
    put(high >> 32, 8);
    out[pos++] = u'-';
    put(high >> 16, 4);
    out[pos++] = u'-';
    put(high, 4);
    out[pos++] = u'-';
    put(low >> 48, 4);
    out[pos++] = u'-';
    put(low, 12);
    return text;
}
