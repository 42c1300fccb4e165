#pragma once

#include "model/PhotoItem.h"

// The user's home folder as raw bytes: $HOME when set, else the password database's entry.
FilePath homeDirectory();
