#include "imaging/HeifDecoder.h"

#include "imaging/DecodeBudget.h"
#include "imaging/HeifProbe.h"
#include "imaging/ImageDecoder.h"

#include <libheif/heif.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

constexpr int maxSide = 32768; // libheif's own check of the declared sizes
constexpr int tileThreads = 2;
// An HEVC picture is padded to whole coding blocks; anything more is a lie.
constexpr int codedPadding = 64;

struct HeifDeleter
{
    void operator()(heif_context *context) const { heif_context_free(context); }
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};
using HeifContextPtr = std::unique_ptr<heif_context, HeifDeleter>;
using HeifHandlePtr = std::unique_ptr<const heif_image_handle, HeifDeleter>;

QSize sizeOf(const heif_image_handle *handle)
{
    return {heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)};
}

// Whether the item decodes to no more than it declares. Either way round: some writers
// declare the size after the rotation.
bool truthful(const HeifLayout &layout, heif_item_id id, const heif_image_handle *handle)
{
    const QSize output = heifOutputSize(layout, id);
    const QSize declared(heif_image_handle_get_ispe_width(handle) + codedPadding,
                         heif_image_handle_get_ispe_height(handle) + codedPadding);
    return !output.isEmpty() && (declared.expandedTo(output) == declared
                                 || declared.expandedTo(output.transposed()) == declared);
}

// The smallest truthful embedded thumbnail that covers `cover` as well as the image would.
// One of another aspect is skipped: it may lack the image's rotation.
std::pair<HeifHandlePtr, heif_item_id> coveringThumbnail(const HeifLayout &layout, const heif_image_handle *primary,
                                                         QSize cover)
{
    const QSize full = sizeOf(primary);
    const QSize wanted = coveringSize(full, cover);
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (wanted == full || count <= 0)
        return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    std::pair<HeifHandlePtr, heif_item_id> best;
    for (heif_item_id id : ids) {
        heif_image_handle *raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &raw).code != heif_error_Ok)
            continue;
        HeifHandlePtr thumbnail(raw);
        const QSize size = sizeOf(raw);
        const double aspectError = std::abs(double(size.width()) * full.height() - double(size.height()) * full.width())
                                 / (double(full.width()) * full.height());
        if (size.width() < wanted.width() || size.height() < wanted.height() || aspectError > 0.02
            || !truthful(layout, id, raw))
            continue;
        if (!best.first || qint64(size.width()) * size.height() < qint64(sizeOf(best.first.get()).width()) * sizeOf(best.first.get()).height())
            best = {std::move(thumbnail), id};
    }
    return best;
}

} // namespace

QImage decodeHeif(const QByteArray &data, QSize cover, DecodeBudget &budget, QSize *fullSize)
{
    const std::optional<HeifLayout> layout = parseHeif(data);
    if (!layout)
        return {};
    HeifContextPtr context(heif_context_alloc());
    if (!context)
        return {};
    heif_context_set_maximum_image_size_limit(context.get(), maxSide);
    heif_context_set_max_decoding_threads(context.get(), tileThreads);
    if (heif_context_read_from_memory_without_copy(context.get(), data.constData(), size_t(data.size()), nullptr).code
        != heif_error_Ok)
        return {};
    heif_item_id primaryId = 0;
    heif_image_handle *rawPrimary = nullptr;
    if (heif_context_get_primary_image_ID(context.get(), &primaryId).code != heif_error_Ok
        || heif_context_get_primary_image_handle(context.get(), &rawPrimary).code != heif_error_Ok)
        return {};
    const HeifHandlePtr primary(rawPrimary);
    if (sizeOf(rawPrimary).isEmpty() || !truthful(*layout, primaryId, rawPrimary))
        return {};
    if (fullSize) // libheif gives a handle's size with its rotation applied
        *fullSize = sizeOf(rawPrimary);
    auto [thumbnail, thumbnailId] = cover.isEmpty() ? std::pair<HeifHandlePtr, heif_item_id>()
                                                    : coveringThumbnail(*layout, rawPrimary, cover);
    const heif_image_handle *chosen = thumbnail ? thumbnail.get() : rawPrimary;
    qint64 need = heifDecodeBytes(*layout, thumbnail ? thumbnailId : primaryId, tileThreads);
    if (need < 0)
        return {};
    // An alpha channel is another coded item that libheif decodes beside the picture; it is
    // charged as the largest coded item of the file could be, and none may be unknown.
    if (heif_image_handle_has_alpha_channel(chosen)) {
        qint64 alphaNeed = 0;
        for (auto it = layout->items.cbegin(); it != layout->items.cend(); ++it) {
            const qint64 bytes = it->type == "hvc1" ? heifDecodeBytes(*layout, it.key(), 1) : 0;
            if (bytes < 0)
                return {};
            alphaNeed = std::max(alphaNeed, bytes);
        }
        need = saturatingAdd(need, alphaNeed);
    }
    // The file's bytes are held through the decode, and the coded data is copied twice more:
    // by libheif, which gathers an item's extents, and by libde265, which unpacks its units.
    const std::optional<DecodeBudget::Reservation> reservation =
        budget.reserve(saturatingAdd(need, decodeOverheadBytes + 3 * qint64(data.size())));
    if (!reservation)
        return {};

    const bool alpha = heif_image_handle_has_alpha_channel(chosen);
    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                : heif_image_handle_is_premultiplied_alpha(chosen) ? QImage::Format_RGBA8888_Premultiplied
                                                                                    : QImage::Format_RGBA8888;
    const std::unique_ptr<heif_decoding_options, HeifDeleter> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image *decoded = nullptr;
    if (heif_decode_image(chosen, &decoded, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get())
            .code
        != heif_error_Ok) {
        heif_image_release(decoded);
        return {};
    }
    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    if (!pixels || width <= 0 || height <= 0) {
        heif_image_release(decoded);
        return {};
    }
    // Handed out in 32-bit pixels as the other formats are; libheif's buffer goes with the copy.
    return QImage(pixels, width, height, stride, format,
                  [](void *image) { heif_image_release(static_cast<heif_image *>(image)); }, decoded)
        .convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}
