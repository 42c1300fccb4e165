#pragma once

#include "similar/PhotoSignature.h"

#include <QtGlobal>

#include <atomic>
#include <span>
#include <vector>

// Two signatures show the same picture when at most this many bits differ in the coarse band
// and in the fine band. Measured on the similar-photo corpus: resizing, re-encoding, format
// changes, 10% edits, watermarks and EXIF rotation stay within 4 coarse and 8 fine bits;
// another shot of one scene (a stereo pair, a burst) differs in 4-8 coarse but 16 or more
// fine bits. The coarse limit is also what the search guarantees to find (see groupSimilar).
inline constexpr int similarCoarseBits = 7;
inline constexpr int similarFineBits = 12;

bool showSamePicture(const PhotoSignature &a, const PhotoSignature &b);

// Groups of indices into `signatures` that show the same picture (showSamePicture, taken
// transitively): each group has two members or more, ascending; groups are ordered by their
// first index. Featureless signatures join no group. Returns {} at once when `stop` is set.
//
// Never compares every pair: the coarse band is cut into four 16-bit keys; two signatures
// within 7 coarse bits agree within one bit on at least one key, so comparing each key's
// bucket with itself and with the 16 buckets one bit away finds every candidate. Memory beside
// the signatures: a copy of them in key order, 8 bytes per signature and one 256 KB table.
std::vector<std::vector<quint32>> groupSimilar(std::span<const PhotoSignature> signatures,
                                               const std::atomic<bool> &stop);
