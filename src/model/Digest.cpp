#include "model/Digest.h"

QString digestHex(const ContentDigest &digest)
{
    static constexpr char16_t digits[] = u"0123456789abcdef";
    QString text(qsizetype(digest.size() * 2), Qt::Uninitialized);
    QChar *out = text.data();
    for (std::uint8_t byte : digest) {
        *out++ = QChar(digits[byte >> 4]);
        *out++ = QChar(digits[byte & 0xf]);
    }
    return text;
}
