#pragma once

#include <QString>

#include <array>
#include <cstdint>

// A file's content digest (SHA-256) as the records keep it.
using ContentDigest = std::array<std::uint8_t, 32>;

// 64 lower-case hexadecimal digits.
QString digestHex(const ContentDigest &digest);
