#pragma once

#include "model/LibraryState.h"

#include <QString>

// The bottom bar's summary: the selection's count and size while anything is selected,
// otherwise the filtered list's (as duplicates with their group count in that mode).
QString statisticsLine(const LibraryState &state);
