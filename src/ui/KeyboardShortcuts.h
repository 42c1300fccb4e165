#pragma once

class MainViewController;

// The window's keys that are not on a menu: Delete runs "Delete", Ctrl+F goes to the
// search field, Escape there clears it. A text field that has the focus keeps the keys it
// edits with (Delete, Ctrl+A), so none of them fires there.
void installKeyboardShortcuts(MainViewController &vc);
