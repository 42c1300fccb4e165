#pragma once

#include "model/PhotoItem.h"

class DesktopServices;
class QMenu;
class QWidget;

// The menu of one photo: "Open", "Show in Folder", "Copy Path", acting through `desktop`
// (which must outlive the menu). The menu deletes itself once closed; show it with popup().
QMenu *photoContextMenu(const PhotoItem &photo, DesktopServices &desktop, QWidget *parent);
