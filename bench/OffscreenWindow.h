#pragma once
// The window's controller on the offscreen platform (unless another is asked for), for
// benchmarks that drive the real window.
#include "platform/Dialogs.h"
#include "platform/PosixFileSystem.h"
#include "platform/Sounds.h"
#include "ui/MainViewController.h"

#include <QApplication>

// Chooses nothing and answers every alert with its first button ("yes").
class YesDialogs final : public Dialogs
{
public:
    std::optional<QList<FilePath>> chooseFolders(const FolderChooserRequest &) override { return std::nullopt; }
    int runAlert(const AlertRequest &) override { return 0; }
};

class SilentSounds final : public SoundPlayer
{
public:
    void play(SystemSound) override {}
};

inline const char *offscreenUnlessSet()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return nullptr;
}

struct OffscreenWindow
{
    OffscreenWindow(int &argc, char **argv, const LibraryCache *libraryCache = nullptr)
        : platform(offscreenUnlessSet()), app(argc, argv), cache(libraryCache), vc(services())
    {
        vc.show();
        QApplication::processEvents();
    }
    MainViewController::Services services()
    {
        MainViewController::Services s;
        s.fileSystem = &fs;
        s.dialogs = &dialogs;
        s.sounds = &sounds;
        s.logSink = [](const QString &) {};
        s.cache = cache;
        return s;
    }
    const char *platform;
    QApplication app;
    PosixFileSystem fs;
    YesDialogs dialogs;
    SilentSounds sounds;
    const LibraryCache *cache;
    MainViewController vc;
};
