#pragma once

#include "model/PhotoItem.h"

#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

// What the desktop does for the program: open a file in the user's application for it,
// show an item in the file manager, put text on the clipboard. Tests record the requests.
class DesktopServices
{
public:
    virtual ~DesktopServices() = default;
    // Opens `url` with the user's default application; false when none could be started.
    virtual bool openUrl(const QUrl &url) = 0;
    // Asks the file manager to show the items (file URIs) selected, through
    // org.freedesktop.FileManager1.ShowItems. `done` runs once, on the GUI thread, with
    // whether a file manager took the request.
    virtual void showItems(const QStringList &uris, std::function<void(bool shown)> done) = 0;
    virtual void setClipboardText(const QString &text) = 0;
};

// The file URL of `path` that names exactly those bytes: a name that is not UTF-8 is
// percent-encoded byte by byte instead of being decoded.
QUrl fileUrl(const FilePath &path);
// The path a local file URL names, byte-exact; nothing for other URLs.
std::optional<FilePath> localFilePath(const QUrl &url);

// The photo's file in the user's viewer.
bool openFile(DesktopServices &desktop, const FilePath &path);
// The file selected in the file manager; without one, its folder opened instead.
// `desktop` must outlive the request.
void showInFolder(DesktopServices &desktop, const FilePath &path);
// The path as text on the clipboard (as it is displayed: a name that is not UTF-8 shows
// replacement characters).
void copyPath(DesktopServices &desktop, const FilePath &path);
