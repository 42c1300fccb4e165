#include "model/Enums.h"

using namespace Qt::StringLiterals;

namespace FileTypeFilters {

namespace {

struct Info
{
    QStringView title;
    std::span<const QStringView> extensions;
};

constexpr QStringView allExtensions[] = {u"jpg", u"jpeg", u"png", u"gif", u"heic",
                                         u"heif", u"tiff", u"tif", u"bmp", u"webp"};
constexpr QStringView jpegExtensions[] = {u"jpg", u"jpeg"};
constexpr QStringView pngExtensions[] = {u"png"};
constexpr QStringView gifExtensions[] = {u"gif"};
constexpr QStringView heicExtensions[] = {u"heic", u"heif"};
constexpr QStringView tiffExtensions[] = {u"tiff", u"tif"};
constexpr QStringView bmpExtensions[] = {u"bmp"};
constexpr QStringView webpExtensions[] = {u"webp"};

constexpr Info infos[] = {
    {u"All Types", allExtensions}, {u"JPEG", jpegExtensions}, {u"PNG", pngExtensions},
    {u"GIF", gifExtensions},       {u"HEIC", heicExtensions}, {u"TIFF", tiffExtensions},
    {u"BMP", bmpExtensions},       {u"WebP", webpExtensions},
};
static_assert(std::size(infos) == allCases.size());

const Info &info(FileTypeFilter filter)
{
    return infos[static_cast<size_t>(filter)];
}

} // namespace

QString rawValue(FileTypeFilter filter)
{
    return info(filter).title.toString();
}

std::optional<FileTypeFilter> fromRawValue(QStringView raw)
{
    for (FileTypeFilter filter : allCases) {
        if (info(filter).title == raw)
            return filter;
    }
    return std::nullopt;
}

std::span<const QStringView> extensions(FileTypeFilter filter)
{
    return info(filter).extensions;
}

} // namespace FileTypeFilters
