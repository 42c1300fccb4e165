#pragma once

#include <QString>

// A new random (version 4) UUID in canonical upper-case form,
// e.g. "1B4E28BA-2FA1-41D2-883F-0016D3CCA427". Safe to call from any thread.
QString makeUuidString();
