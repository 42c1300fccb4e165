#include "browse/Filtering.h"

#include <QFile>

#include <algorithm>

namespace {

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return uchar(c) < 0x80; });
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

// Most names are ASCII, whose Unicode lower case is the ASCII one: those are searched
// as bytes, which keeps a search over a large library within a frame.
struct NameSearch
{
    explicit NameSearch(const QString &text) : key(text), asciiKey(text.toLatin1())
    {
        keyIsAscii = std::all_of(key.begin(), key.end(), [](QChar c) { return c.unicode() < 0x80; });
    }

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
        return QFile::decodeName(name).toLower().contains(key);
    }

    QString key;
    QByteArray asciiKey;
    bool keyIsAscii = true;
};

bool typeMatches(const QString &fileType, std::span<const QStringView> extensions)
{
    const bool ascii = std::all_of(fileType.begin(), fileType.end(), [](QChar c) { return c.unicode() < 0x80; });
    const QString lower = ascii ? QString() : fileType.toLower();
    return std::any_of(extensions.begin(), extensions.end(), [&](QStringView extension) {
        if (!ascii)
            return extension == lower;
        // The extensions are lower-case ASCII: compare without making a lower-cased copy.
        return extension.size() == fileType.size()
               && std::equal(extension.begin(), extension.end(), fileType.begin(), [](QChar e, QChar t) {
                      return e.unicode() == char16_t(asciiLower(char(t.unicode())));
                  });
    });
}

} // namespace

QString searchKey(const QString &fieldText)
{
    return fieldText.toLower();
}

bool nameMatches(const FilePath &name, const QString &key)
{
    return NameSearch(key).matches(name);
}

QList<PhotoItem> filterPhotos(const QList<PhotoItem> &all, const QSet<QString> &duplicateIds,
                              const FilterChoice &choice)
{
    const bool duplicatesOnly = choice.viewMode == ViewMode::duplicates;
    const bool anyType = choice.fileType == FileTypeFilter::all;
    const std::span<const QStringView> extensions = FileTypeFilters::extensions(choice.fileType);
    const NameSearch search(choice.searchText);

    const auto typePasses = [&](const QString &fileType) { return typeMatches(fileType, extensions); };

    // Nothing to narrow by: the result shares the library's list.
    if (!duplicatesOnly && anyType && choice.searchText.isEmpty())
        return all;

    // Pick first, then copy once into a list of the right size.
    std::vector<qsizetype> kept;
    for (qsizetype i = 0; i < all.size(); ++i) {
        const PhotoItem &photo = all[i];
        if (duplicatesOnly && !duplicateIds.contains(photo.id()))
            continue;
        if (!anyType && !typePasses(photo.fileType()))
            continue;
        if (!search.matches(photo.name()))
            continue;
        kept.push_back(i);
    }
    QList<PhotoItem> result;
    result.reserve(qsizetype(kept.size()));
    for (const qsizetype i : kept)
        result.append(all[i]);
    return result;
}
