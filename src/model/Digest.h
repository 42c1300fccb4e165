#pragma once

#include <QString>

#include <array>
#include <cstdint>

// A file's content digest (MD5) as the records keep it.
using ContentDigest = std::array<std::uint8_t, 16>;

// 32 lower-case hexadecimal digits.
QString digestHex(const ContentDigest &digest);
