#include "app/Identity.h"

#include <QApplication>

static void initApplicationResources()
{
    // The resource lives in a static library, whose unreferenced initialiser the linker drops.
    Q_INIT_RESOURCE(application);
}

QIcon applicationIcon()
{
    static const bool ready = (initApplicationResources(), true);
    Q_UNUSED(ready);
    return QIcon(QStringLiteral(":/app/" LUMISORT_APP_ID ".svg"));
}

void applyApplicationIdentity()
{
    QApplication::setApplicationName(QStringLiteral("Lumisort"));
    QApplication::setApplicationVersion(QStringLiteral(LUMISORT_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(LUMISORT_APP_ID));
    QApplication::setWindowIcon(applicationIcon());
}
