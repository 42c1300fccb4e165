#include "ui/Icons.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>

static void initIconResources()
{
    // The resource lives in a static library, whose unreferenced initialiser the linker drops.
    Q_INIT_RESOURCE(icons);
}

QIcon symbolIcon(const QString &name, const QColor &color, int size)
{
    static const bool ready = (initIconResources(), true);
    Q_UNUSED(ready);
    const QString path = QStringLiteral(":/icons/") + name + QStringLiteral(".svg");
    if (!QFile::exists(path))
        return {};
    QIcon icon;
    for (const int scale : {1, 2}) {
        // The symbols are drawn in black; recolour them by painting `color` through them.
        QPixmap pixmap = QIcon(path).pixmap(QSize(size, size) * scale);
        QPainter p(&pixmap);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(pixmap.rect(), color);
        p.end();
        pixmap.setDevicePixelRatio(scale);
        icon.addPixmap(pixmap);
    }
    return icon;
}
