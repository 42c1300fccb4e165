#pragma once

#include "model/Enums.h"
#include "model/PhotoItem.h"

#include <QList>
#include <QUrl>

class FileSystem;

// The scan paths a drop onto the window gives: the local folders among the dropped URLs,
// in drop order (links to folders count). Files and remote URLs are left out. Empty, so
// the drop is refused, when there is no folder or while a scan runs.
QList<FilePath> droppedFolders(const QList<QUrl> &urls, ScanState state, const FileSystem &fs);
