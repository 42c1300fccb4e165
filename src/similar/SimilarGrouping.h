#pragma once

#include "similar/PhotoSignature.h"

#include <QtGlobal>

#include <atomic>
#include <span>
#include <vector>

// Two signatures show the same picture when at most this many bits differ in the coarse band
// and in the fine band (distances are even: each band has exactly half its bits set).
// Measured on the similar-photo corpus (bench/make-similar-corpus.sh, similar-thresholds.py):
// 614 of 616 copies resized to a quarter, re-encoded down to quality 60, converted, edited by
// 10%, watermarked, captioned or stored rotated are within 4 / 4 of their original or of
// another copy of it; shots of a burst (shapes moved 3%) come as close as 2 / 6 and 6 / 6, so
// a wider limit merges bursts. Crops of 5-8% a side change about 10 coarse and 18 fine bits
// and are mostly left out: a false group can cost a photo, a missed one only some space.
inline constexpr int similarCoarseBits = 4;
inline constexpr int similarFineBits = 4;

bool showSamePicture(const PhotoSignature &a, const PhotoSignature &b);

// Groups of indices into `signatures` that show the same picture (showSamePicture, taken
// transitively): each group has two members or more, ascending; groups are ordered by their
// first index. Featureless signatures join no group. Returns {} at once when `stop` is set.
//
// Never compares every pair: the coarse band is cut into four 16-bit keys; two signatures
// within 7 coarse bits agree within one bit on at least one key, so comparing each key's
// bucket with itself and with the 16 buckets one bit away finds every candidate. Memory beside
// the signatures: a copy of them in key order, 8 bytes per signature and one 256 KB table.
// Identical signatures join at once and enter the buckets as one.
std::vector<std::vector<quint32>> groupSimilar(std::span<const PhotoSignature> signatures,
                                               const std::atomic<bool> &stop);
