#include "app/AppDelegate.h"
#include "app/CommandLine.h"
#include "app/Identity.h"
#include "cache/LibraryCache.h"
#include "imaging/SharedThumbnails.h"
#include "platform/Home.h"
#include "platform/PosixFileSystem.h"
#include "platform/QtDesktopServices.h"
#include "platform/QtDialogs.h"
#include "platform/Sounds.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

bool hasGraphicalSession()
{
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY")
           || std::getenv("QT_QPA_PLATFORM");
}

// Empty when it cannot be told (deleted, say): relative folders are then refused.
FilePath workingDirectory()
{
    char *path = ::getcwd(nullptr, 0);
    const FilePath result = path ? FilePath(path) : FilePath();
    std::free(path);
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    // Help, version and bad folders are answered before anything graphical starts.
    const CommandLine commandLine = parseCommandLine(argc, argv, workingDirectory());
    if (commandLine.exitCode) {
        std::fputs(commandLine.message.constData(), *commandLine.exitCode == 0 ? stdout : stderr);
        return *commandLine.exitCode;
    }
    if (!hasGraphicalSession()) {
        std::fputs("lumisort: no graphical session found (DISPLAY is not set); "
                   "run it from a desktop session or under Xvfb, e.g. xvfb-run make run\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    applyApplicationIdentity();

    PosixFileSystem fileSystem;
    QtDialogs dialogs;
    QtDesktopServices desktop;
    const std::unique_ptr<SoundPlayer> sounds = makeDesktopSoundPlayer();

    MainViewController::Services services;
    services.fileSystem = &fileSystem;
    services.dialogs = &dialogs;
    services.sounds = sounds.get();
    services.desktop = &desktop;
    const LibraryCache cache(LibraryCache::defaultFolder());
    services.cache = &cache;
    const SharedThumbnails sharedThumbnails(SharedThumbnails::defaultRoot(qgetenv("XDG_CACHE_HOME"), homeDirectory()));
    services.sharedThumbnails = &sharedThumbnails;
    AppDelegate delegate(services);
    delegate.applicationDidFinishLaunching();
    dialogs.setParent(delegate.window());
    if (!commandLine.folders.isEmpty()) {
        // As if chosen with "Select Folder" and started with "Start Scan", once the window is up.
        MainViewController *vc = delegate.mainVC();
        vc->setScanPaths(commandLine.folders);
        QMetaObject::invokeMethod(vc, &MainViewController::scanClicked, Qt::QueuedConnection);
    }
    return QApplication::exec();
}
