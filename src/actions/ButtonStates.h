#pragma once

#include "model/Enums.h"

#include <QString>

#include <optional>

// What the command-button rule reads.
struct ButtonStateInputs
{
    ScanState scanState = ScanState::idle;
    qsizetype displayedCount = 0;
    qsizetype selectedCount = 0;
    qsizetype groupCount = 0; // the groups Keep Originals Only (Keep Best Only) would act on
    qsizetype scanPathCount = 0;
};

// What it decides: the enabled flag of each command button, whether STOP ALL shows, and
// the pause button's title when the rule resets it (it is left alone while busy).
struct ButtonStates
{
    bool scan = false;
    bool folder = false;
    bool fullScan = false;
    bool pause = false;
    bool stop = false;
    bool selectAll = false;
    bool deselectAll = false;
    bool keepOriginals = false;
    bool fileActions = false; // copy, move and delete
    bool masterStopVisible = false;
    std::optional<QString> pauseTitle;

    friend bool operator==(const ButtonStates &, const ButtonStates &) = default;
};

// While a scan or a file operation runs only pause, stop and STOP ALL are offered; when
// idle, each command is offered once there is something for it to act on.
ButtonStates buttonStatesFor(const ButtonStateInputs &inputs);
