#pragma once

#include "model/PhotoItem.h"

#include <QByteArrayView>
#include <QString>

// Where the trash lives for the current user, passed in so tests never touch the real one.
struct TrashEnvironment
{
    FilePath dataHome; // $XDG_DATA_HOME, else $HOME/.local/share; the home trash is dataHome/Trash
    uint uid = 0;

    static TrashEnvironment current();
    FilePath homeTrash() const { return dataHome + "/Trash"; }
};

struct TrashResult
{
    bool ok = false;
    QString error;        // a description of the failure when !ok
    FilePath trashedPath; // where the file went (…/Trash/files/NAME) when ok
};

// Moves the file at `path` into the freedesktop.org trash: the home trash for files reached
// through its mount, else the mount point's .Trash/$uid (when valid) or .Trash-$uid. The
// info file is written first; a file that cannot be trashed is left where it is, never
// deleted.
TrashResult moveToTrash(const FilePath &path, const TrashEnvironment &env = TrashEnvironment::current());

// Whether a folder name is that of a per-mount trash: ".Trash" or ".Trash-" and a user id.
bool isTrashFolderName(QByteArrayView name);
