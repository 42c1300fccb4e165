#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

class DecodeBudget;

// The HEIF half of decodeImage: the primary image, or with a non-empty `cover` the smallest
// embedded thumbnail that covers it as well. The memory it needs is counted from what the
// file's items really decode to, not from the sizes they declare, and reserved in `budget`
// first. Null when it does not fit, or when an item decodes bigger than it declares or to
// a size that cannot be told. Handed out as Format_RGB32 or Format_ARGB32_Premultiplied.
// `fullSize` gets the primary image's size, upright, once it is known to be truthful.
QImage decodeHeif(const QByteArray &data, QSize cover, DecodeBudget &budget, QSize *fullSize = nullptr);
