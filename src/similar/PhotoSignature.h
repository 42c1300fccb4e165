#pragma once

#include "model/PhotoItem.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QtGlobal>

#include <optional>

// A perceptual signature: what stays the same when a photo is resized, re-encoded, converted
// to another format or lightly edited. The picture is reduced to 32 x 32 grey cells, tapered
// towards its borders and transformed (DCT); each bit tells whether one frequency's
// coefficient lies above the median of its band. `coarse` holds the 64 lowest frequencies
// after the mean, `fine` the next 64 (zigzag order): coarse finds candidates, fine tells a
// copy from another shot of one scene.
struct PhotoSignature
{
    quint64 coarse = 0;
    quint64 fine = 0;

    // A picture with no structure (a blank frame, a plain wall): its bits would be noise, so
    // it is never similar to anything. Its signature is all zero, which no other can be, as
    // a band always has half its bits set.
    bool featureless() const { return coarse == 0 && fine == 0; }
    friend bool operator==(const PhotoSignature &, const PhotoSignature &) = default;
};

// The bytes kept in the library cache: a version byte, then both bands little-endian.
QByteArray signatureBytes(const PhotoSignature &signature);
// Nullopt for anything signatureBytes cannot have written.
std::optional<PhotoSignature> signatureFromBytes(QByteArrayView bytes);

// What a decode must at least cover on the picture's shorter side for signatureOf: each of
// the 32 cells then averages at least two pixels, so a picture and its shared thumbnail give
// (nearly) the same bits.
inline constexpr int signatureSourceSide = 64;

// The signature of an upright decoded picture; nullopt for a null one or one smaller than
// signatureSourceSide on its shorter side.
std::optional<PhotoSignature> signatureOf(const QImage &upright);

// Decodes the file reduced and upright, and signs it; `pixels` gets the photo's full size as
// its headers state it (upright), from the same read. Nullopt when the file cannot be
// decoded. Thread-safe.
std::optional<PhotoSignature> signatureOfFile(const FilePath &path, QSize *pixels = nullptr);

// Bits that differ between two signatures, per band.
int coarseDistance(const PhotoSignature &a, const PhotoSignature &b);
int fineDistance(const PhotoSignature &a, const PhotoSignature &b);
