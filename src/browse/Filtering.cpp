#include "browse/Filtering.h"

#include <algorithm>
#include <iterator>

namespace {

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

bool isAscii(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

// Most names are ASCII, whose Unicode lower case is the ASCII one: those are searched
// as bytes, which keeps a search over a large library within a frame.
struct NameSearch
{
    explicit NameSearch(const QString &text) : key(text), asciiKey(text.toLatin1()), keyIsAscii(isAscii(text)) {}

    bool matches(const FilePath &name) const
    {
        if (key.isEmpty())
            return true;
        if (isAscii(name)) {
            if (!keyIsAscii)
                return false; // a lower-cased ASCII name holds only ASCII
            const auto equal = [](char a, char b) { return asciiLower(a) == b; };
            return std::search(name.begin(), name.end(), asciiKey.begin(), asciiKey.end(), equal)
                   != name.end();
        }
        // Lower-casing the freshly decoded text in place saves an allocation per name.
        return displayPath(name).toLower().contains(key);
    }

    QString key;
    QByteArray asciiKey;
    bool keyIsAscii;
};

bool typeMatches(const QString &fileType, std::span<const QStringView> extensions)
{
    // The extensions are lower-case ASCII: for an ASCII type, ignoring case is lower-casing.
    const bool ascii = isAscii(fileType);
    const QString lower = ascii ? QString() : fileType.toLower();
    return std::any_of(extensions.begin(), extensions.end(), [&](QStringView extension) {
        return ascii ? extension.compare(fileType, Qt::CaseInsensitive) == 0 : extension == lower;
    });
}

} // namespace

bool passesTypeFilter(const QString &fileType, FileTypeFilter filter)
{
    return filter == FileTypeFilter::all || typeMatches(fileType, FileTypeFilters::extensions(filter));
}

void appendSearchableName(QByteArray &out, const FilePath &name)
{
    if (!isAscii(name)) {
        out.append(displayPath(name).toLower().toUtf8());
        return;
    }
    const qsizetype at = out.size();
    out.resize(at + name.size());
    std::transform(name.begin(), name.end(), out.begin() + at, asciiLower);
}

QString searchKey(const QString &fieldText)
{
    return fieldText.toLower();
}

QList<PhotoItem> filterPhotos(const QList<PhotoItem> &all, const PhotoIdSet &duplicateIds,
                              const FilterChoice &choice, const QList<SimilarGroup> &similarGroups)
{
    const bool duplicatesOnly = choice.viewMode == ViewMode::duplicates;
    const bool anyType = choice.fileType == FileTypeFilter::all;
    const std::span<const QStringView> extensions = FileTypeFilters::extensions(choice.fileType);
    const NameSearch search(choice.searchText);

    // Nothing to narrow by: the result shares the library's list.
    if (!choice.narrows())
        return all;
    const auto passes = [&](const PhotoItem &photo) {
        return (anyType || typeMatches(photo.fileType(), extensions)) && search.matches(photo.name());
    };
    if (choice.viewMode == ViewMode::similar) {
        QList<PhotoItem> result;
        for (const SimilarGroup &group : similarGroups)
            std::copy_if(group.photos.cbegin(), group.photos.cend(), std::back_inserter(result), passes);
        return result;
    }

    // Pick first, then copy once into a list of the right size.
    std::vector<qsizetype> kept;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const PhotoItem &photo = all[i];
        if ((!duplicatesOnly || duplicateIds.contains(photo.id())) && passes(photo))
            kept.push_back(i);
    }
    QList<PhotoItem> result;
    result.reserve(qsizetype(kept.size()));
    for (const qsizetype i : kept)
        result.append(all[i]);
    return result;
}
