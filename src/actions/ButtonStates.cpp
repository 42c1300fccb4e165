#include "actions/ButtonStates.h"

using namespace Qt::StringLiterals;

ButtonStates buttonStatesFor(const ButtonStateInputs &in)
{
    ButtonStates s;
    switch (in.scanState) {
    case ScanState::idle:
        s.scan = in.scanPathCount > 0;
        s.folder = true;
        s.fullScan = true;
        s.pauseTitle = u"Pause"_s;
        s.selectAll = in.displayedCount > 0;
        s.deselectAll = in.selectedCount > 0;
        s.keepOriginals = in.groupCount > 0;
        s.fileActions = in.selectedCount > 0;
        break;
    case ScanState::scanning:
    case ScanState::paused:
        s.pause = true;
        s.stop = true;
        s.masterStopVisible = true;
        break;
    case ScanState::stopping:
        s.masterStopVisible = true;
        break;
    }
    return s;
}
