#pragma once

#include "model/PhotoItem.h"

#include <QList>
#include <QString>

// Texts of the scan controls that depend on the chosen folders.
namespace ScanControlTexts {

// "Ready to scan: Photos, Camera": the folders' own names, comma separated.
QString readyToScan(const QList<FilePath> &scanPaths);

// The paths as a list literal: ["/home/a", "/home/b \"x\""].
QString pathListLiteral(const QList<FilePath> &paths);

} // namespace ScanControlTexts
