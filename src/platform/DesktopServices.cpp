#include "platform/DesktopServices.h"

#include "platform/FileSystem.h"

#include <QFile>

using namespace Qt::StringLiterals;

QUrl fileUrl(const FilePath &path)
{
    const QString decoded = QFile::decodeName(path);
    if (QFile::encodeName(decoded) == path)
        return QUrl::fromLocalFile(decoded);
    // Decoding would replace the bytes that are not text, and the URL would name another
    // file; QUrl keeps percent-encoded bytes that are not UTF-8 as they are.
    return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"), QUrl::StrictMode);
}

std::optional<FilePath> localFilePath(const QUrl &url)
{
    if (!url.isLocalFile() || !(url.host().isEmpty() || url.host() == u"localhost"_s))
        return std::nullopt;
    const FilePath path = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (!path.startsWith('/'))
        return std::nullopt;
    return path;
}

bool openFile(DesktopServices &desktop, const FilePath &path)
{
    return desktop.openUrl(fileUrl(path));
}

void showInFolder(DesktopServices &desktop, const FilePath &path)
{
    const FilePath folder = parentPath(path);
    desktop.showItems({QString::fromLatin1(fileUrl(path).toEncoded())}, [&desktop, folder](bool shown) {
        if (!shown)
            desktop.openUrl(fileUrl(folder));
    });
}

void copyPath(DesktopServices &desktop, const FilePath &path)
{
    desktop.setClipboardText(displayPath(path));
}
