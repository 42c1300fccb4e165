#include "similar/PhotoSignature.h"

#include "imaging/ImageDecoder.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr int cells = 32;       // the grey picture the transform sees, cells x cells
constexpr int frequencies = 16; // the lowest frequencies per axis that the bands use
constexpr int bandBits = 64;
constexpr char signatureVersion = 1;
// Below this standard deviation of the cells (of 255) a picture has no structure to sign.
constexpr double featurelessDeviation = 1.5;

struct Tables
{
    // cosines[u][x]: the orthonormal DCT-II basis.
    std::array<std::array<double, cells>, frequencies> cosines{};
    // A Hann taper per axis: the borders, where crops and captions change a copy, weigh little.
    std::array<double, cells> taper{};
    // The frequencies (u, v) of both bands in zigzag order, the mean (0, 0) left out.
    std::array<std::pair<int, int>, 2 * bandBits> order{};

    Tables()
    {
        for (int u = 0; u < frequencies; ++u)
            for (int x = 0; x < cells; ++x)
                cosines[u][x] = std::sqrt((u == 0 ? 1.0 : 2.0) / cells) *
                                std::cos(std::numbers::pi * (2 * x + 1) * u / (2.0 * cells));
        for (int x = 0; x < cells; ++x)
            taper[x] = std::pow(std::sin(std::numbers::pi * (x + 0.5) / cells), 2);
        std::vector<std::pair<int, int>> all;
        for (int u = 0; u < frequencies; ++u)
            for (int v = 0; v < frequencies; ++v)
                all.emplace_back(u, v);
        std::sort(all.begin(), all.end(), [](auto a, auto b) {
            return std::pair(a.first + a.second, a.first) < std::pair(b.first + b.second, b.first);
        });
        std::copy_n(all.begin() + 1, order.size(), order.begin());
    }
};

const Tables &tables()
{
    static const Tables instance;
    return instance;
}

// The mean luma of each of cells x cells areas; the last row and column take the remainder.
std::array<double, cells * cells> greyCells(const QImage &image)
{
    std::array<double, cells * cells> sums{};
    std::array<int, cells * cells> counts{};
    const int width = image.width(), height = image.height();
    std::vector<int> column(static_cast<size_t>(width));
    for (int x = 0; x < width; ++x)
        column[size_t(x)] = int(qint64(x) * cells / width);
    for (int y = 0; y < height; ++y) {
        const int row = int(qint64(y) * cells / height) * cells;
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            sums[size_t(row + column[size_t(x)])] += 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
            ++counts[size_t(row + column[size_t(x)])];
        }
    }
    for (size_t i = 0; i < sums.size(); ++i)
        sums[i] /= counts[i];
    return sums;
}

// One bit per value: above the band's median.
quint64 bandBitsOf(std::array<double, bandBits> values)
{
    std::array<double, bandBits> sorted = values;
    std::nth_element(sorted.begin(), sorted.begin() + bandBits / 2, sorted.end());
    const double upper = sorted[bandBits / 2];
    const double lower = *std::max_element(sorted.begin(), sorted.begin() + bandBits / 2);
    const double median = (lower + upper) / 2;
    quint64 bits = 0;
    for (int i = 0; i < bandBits; ++i)
        if (values[size_t(i)] > median)
            bits |= quint64(1) << i;
    return bits;
}

} // namespace

QByteArray signatureBytes(const PhotoSignature &signature)
{
    QByteArray bytes(17, Qt::Uninitialized);
    bytes[0] = signatureVersion;
    qToLittleEndian(signature.coarse, bytes.data() + 1);
    qToLittleEndian(signature.fine, bytes.data() + 9);
    return bytes;
}

std::optional<PhotoSignature> signatureFromBytes(QByteArrayView bytes)
{
    if (bytes.size() != 17 || bytes[0] != signatureVersion)
        return std::nullopt;
    const PhotoSignature signature{qFromLittleEndian<quint64>(bytes.data() + 1),
                                   qFromLittleEndian<quint64>(bytes.data() + 9)};
    // A band is half set unless the picture was featureless, when both are empty.
    const auto valid = [](quint64 band) { return std::popcount(band) == bandBits / 2; };
    if (!signature.featureless() && !(valid(signature.coarse) && valid(signature.fine)))
        return std::nullopt;
    return signature;
}

std::optional<PhotoSignature> signatureOf(const QImage &upright)
{
    if (upright.isNull() || std::min(upright.width(), upright.height()) < signatureSourceSide)
        return std::nullopt;
    const QImage image = upright.format() == QImage::Format_RGB32 || upright.format() == QImage::Format_ARGB32
                             ? upright
                             : upright.convertToFormat(QImage::Format_RGB32);
    std::array<double, cells * cells> grey = greyCells(image);

    double mean = 0, square = 0;
    for (double g : grey)
        mean += g, square += g * g;
    mean /= grey.size();
    if (std::sqrt(std::max(0.0, square / grey.size() - mean * mean)) < featurelessDeviation)
        return PhotoSignature{};

    // The separable DCT of the tapered cells, only for the frequencies the bands use.
    const Tables &t = tables();
    for (int y = 0; y < cells; ++y)
        for (int x = 0; x < cells; ++x)
            grey[size_t(y * cells + x)] = (grey[size_t(y * cells + x)] - mean) * t.taper[y] * t.taper[x];
    std::array<std::array<double, frequencies>, cells> rows{}; // rows[y][v]
    for (int y = 0; y < cells; ++y)
        for (int v = 0; v < frequencies; ++v) {
            double sum = 0;
            for (int x = 0; x < cells; ++x)
                sum += grey[size_t(y * cells + x)] * t.cosines[v][x];
            rows[y][v] = sum;
        }
    const auto coefficient = [&](int u, int v) {
        double sum = 0;
        for (int y = 0; y < cells; ++y)
            sum += t.cosines[u][y] * rows[y][v];
        return sum;
    };
    std::array<double, bandBits> coarse{}, fine{};
    for (int i = 0; i < bandBits; ++i) {
        coarse[size_t(i)] = coefficient(t.order[size_t(i)].first, t.order[size_t(i)].second);
        fine[size_t(i)] = coefficient(t.order[size_t(bandBits + i)].first, t.order[size_t(bandBits + i)].second);
    }
    PhotoSignature signature{bandBitsOf(coarse), bandBitsOf(fine)};
    // Ties at the median (a picture of a few flat areas) can leave a band short of half set;
    // such a picture has too little structure to be told apart from others.
    if (std::popcount(signature.coarse) != bandBits / 2 || std::popcount(signature.fine) != bandBits / 2)
        return PhotoSignature{};
    return signature;
}

std::optional<PhotoSignature> signatureOfFile(const FilePath &path, QSize *pixels)
{
    QSize full;
    const QImage upright = decodeImage(path, QSize(2 * signatureSourceSide, 2 * signatureSourceSide), &full);
    if (upright.isNull())
        return std::nullopt;
    if (pixels)
        *pixels = full.isValid() ? full : upright.size();
    return signatureOf(upright);
}

int coarseDistance(const PhotoSignature &a, const PhotoSignature &b)
{
    return std::popcount(a.coarse ^ b.coarse);
}

int fineDistance(const PhotoSignature &a, const PhotoSignature &b)
{
    return std::popcount(a.fine ^ b.fine);
}
