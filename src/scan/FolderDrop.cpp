#include "scan/FolderDrop.h"

#include "platform/DesktopServices.h"
#include "platform/FileSystem.h"

QList<FilePath> droppedFolders(const QList<QUrl> &urls, ScanState state, const FileSystem &fs)
{
    if (state != ScanState::idle)
        return {};
    QList<FilePath> folders;
    for (const QUrl &url : urls) {
        const std::optional<FilePath> path = localFilePath(url);
        if (path && fs.isDirectory(*path, true))
            folders << *path;
    }
    return folders;
}
