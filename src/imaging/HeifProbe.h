#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QSize>

#include <optional>

// The items of a HEIF file as its boxes describe them, read without decoding: what each
// declares its size to be (ispe), which can lie, and what decoding it really produces (a
// grid's or overlay's canvas, the picture size in the HEVC parameter set). libheif sizes
// its buffers by the latter.

struct HeifItem
{
    QByteArray type;        // "hvc1", "grid", "iden", "iovl", ...
    QSize declared;         // its ispe property
    QSize canvas;           // grid and overlay: the output size their data states
    // hvc1: the picture size of its sequence parameter set; empty when that cannot be told:
    // its own data, which the decoder reads after it, redefines it or holds more than one
    // picture, or its extents lie outside the file or add up to more than it.
    QSize coded;
    qint64 codedBytesPerPixel = 12; // hvc1: what its decoded picture takes, both copies
    QList<quint32> sources; // dimg references: a grid's tiles, the inputs of iden and iovl
};

struct HeifLayout
{
    quint32 primary = 0;
    QHash<quint32, HeifItem> items;
};

// Empty when the meta box cannot be read.
std::optional<HeifLayout> parseHeif(QByteArrayView data);

// The size decoding the item produces; empty when that cannot be told (a type we do not
// decode, a missing part, references that loop).
QSize heifOutputSize(const HeifLayout &layout, quint32 id);

// The most memory decoding the item and converting it to RGB can take at once, with
// `threads` tiles decoded side by side; -1 when it cannot be told.
qint64 heifDecodeBytes(const HeifLayout &layout, quint32 id, int threads);
