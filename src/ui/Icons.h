#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// The symbols the window shows, shipped with the program so that nothing depends on the
// desktop's icon theme: "photo.on.rectangle", "doc.on.doc", "photo.fill".
// Returns the symbol painted in `color`, or a null icon for an unknown name.
QIcon symbolIcon(const QString &name, const QColor &color, int size = 18);
