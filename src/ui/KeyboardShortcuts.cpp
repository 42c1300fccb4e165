#include "ui/KeyboardShortcuts.h"

#include "ui/ColoredButtonView.h"
#include "ui/MainViewController.h"

#include <QLineEdit>
#include <QShortcut>

void installKeyboardShortcuts(MainViewController &vc)
{
    // Line edits claim their editing keys through ShortcutOverride, before any shortcut.
    // The Delete key alone: the desktop's standard delete keys include Ctrl+D on X11, which
    // would make Set Destination's shortcut ambiguous, so that neither ran.
    auto *remove = new QShortcut(QKeySequence(Qt::Key_Delete), &vc);
    remove->setObjectName(QStringLiteral("deleteShortcut"));
    QObject::connect(remove, &QShortcut::activated, &vc, [&vc] {
        if (vc.deleteButton->isEnabled())
            vc.deleteClicked();
    });

    auto *find = new QShortcut(QKeySequence::Find, &vc);
    QObject::connect(find, &QShortcut::activated, &vc, [&vc] {
        vc.searchField->setFocus(Qt::ShortcutFocusReason);
        vc.searchField->selectAll();
    });

    QLineEdit *search = vc.searchField;
    auto *clear = new QShortcut(QKeySequence(Qt::Key_Escape), search, nullptr, nullptr, Qt::WidgetShortcut);
    QObject::connect(clear, &QShortcut::activated, search, &QLineEdit::clear);
}
