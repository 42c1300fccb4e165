#pragma once

#include "model/PhotoItem.h"

// The user's home folder as raw bytes: $HOME when set, else the password database's entry.
FilePath homeDirectory();

// The user's pictures folder: XDG_PICTURES_DIR from user-dirs.dirs ($XDG_CONFIG_HOME, else
// ~/.config), else ~/Pictures.
FilePath picturesDirectory();
// The same rule on given inputs: `userDirs` is the text of user-dirs.dirs (empty if none).
FilePath picturesDirectoryFrom(const FilePath &home, const QByteArray &userDirs);
