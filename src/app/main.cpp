#include "app/AppDelegate.h"
#include "platform/PosixFileSystem.h"
#include "platform/QtDialogs.h"
#include "platform/Sounds.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

bool hasGraphicalSession()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")
           || std::getenv("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char *argv[])
{
    if (!hasGraphicalSession()) {
        std::fputs("lumisort: no graphical session found (DISPLAY is not set); "
                   "run it from a desktop session or under Xvfb, e.g. xvfb-run make run\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumisort"));
    QApplication::setDesktopFileName(QStringLiteral("lumisort"));

    PosixFileSystem fileSystem;
    QtDialogs dialogs;
    const std::unique_ptr<SoundPlayer> sounds = makeDesktopSoundPlayer();

    MainViewController::Services services;
    services.fileSystem = &fileSystem;
    services.dialogs = &dialogs;
    services.sounds = sounds.get();
    AppDelegate delegate(services);
    delegate.applicationDidFinishLaunching();
    dialogs.setParent(delegate.window());
    return QApplication::exec();
}
