#include "ui/PhotoContextMenu.h"

#include "platform/DesktopServices.h"

#include <QMenu>

using namespace Qt::StringLiterals;

QMenu *photoContextMenu(const PhotoItem &photo, DesktopServices &desktop, QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setAccessibleName(QString::fromUtf8(photo.name()));
    const FilePath path = photo.path();
    menu->addAction(u"Open"_s, menu, [&desktop, path] { openFile(desktop, path); });
    menu->addAction(u"Show in Folder"_s, menu, [&desktop, path] { showInFolder(desktop, path); });
    menu->addAction(u"Copy Path"_s, menu, [&desktop, path] { copyPath(desktop, path); });
    return menu;
}
