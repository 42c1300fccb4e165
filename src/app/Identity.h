#pragma once

#include <QIcon>

// Names the running program the way the desktop knows it: application name and version,
// the desktop entry's id (LUMISORT_APP_ID, which also names the metainfo and the icons)
// and the window icon, embedded so that an uninstalled build shows it too.
void applyApplicationIdentity();
QIcon applicationIcon();
