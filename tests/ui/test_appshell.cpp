#include "UiFakes.h"
#include "app/AppDelegate.h"
#include "platform/QtDialogs.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestAppShell : public QObject
{
    Q_OBJECT

private slots:
    void menuBar()
    {
        Harness h;
        AppDelegate delegate(h.services());
        delegate.applicationDidFinishLaunching();
        QMainWindow *window = delegate.window();
        QCOMPARE(window->windowTitle(), u"Lumisort"_s);
        QCOMPARE(delegate.mainVC()->size(), QSize(1200, 850));

        // Title, shortcut and enabled state of every item, separators as "-".
        QStringList menus;
        for (QAction *top : window->menuBar()->actions()) {
            QStringList items;
            for (QAction *item : top->menu()->actions())
                items << (item->isSeparator() ? u"-"_s
                                              : item->text() + u'|' + item->shortcut().toString()
                                                    + (item->isEnabled() ? u""_s : u"|off"_s));
            menus << top->text() + u": "_s + items.join(u", "_s);
        }
        QCOMPARE(menus, (QStringList{
                            u"Lumisort: About Lumisort|, -, Quit Lumisort|Ctrl+Q"_s,
                            u"File: Open Folder...|Ctrl+O, -, Set Destination...|Ctrl+D"_s,
                            u"Edit: Select All|Ctrl+A, Deselect All|"_s,
                            u"View: All Photos|Ctrl+1, Duplicates Only|Ctrl+2"_s,
                        }));

        // The items reach their handlers.
        window->menuBar()->actions()[1]->menu()->actions()[0]->trigger();
        QCOMPARE(h.dialogs.folderRequests.size(), 1);
        window->menuBar()->actions()[0]->menu()->actions()[0]->trigger();
        QCOMPARE(h.dialogs.alerts.size(), 1);
        QCOMPARE(h.dialogs.alerts[0].message, u"Lumisort v1.0"_s);
        QVERIFY(h.dialogs.alerts[0].buttons.isEmpty());
        QVERIFY(h.dialogs.alerts[0].informativeText.endsWith(u"\n\u2022 Beautiful thumbnail grid view"_s));
    }

    void destinationChooser()
    {
        Harness h;
        MainViewController vc(h.services());
        vc.setDestinationClicked(); // cancelled
        QCOMPARE(vc.library().destinationPath, qgetenv("HOME") + "/Pictures");
        h.dialogs.folderAnswers.push_back(QList<FilePath>{"/media/disk/Photos"});
        vc.setDestinationClicked();
        QCOMPARE(h.dialogs.folderRequests.last().prompt, u"Set Destination"_s);
        QVERIFY(!h.dialogs.folderRequests.last().allowsMultiple);
        QCOMPARE(vc.library().destinationPath, QByteArray("/media/disk/Photos"));
        QCOMPARE(vc.destinationLabel->text(), u"Destination: /media/disk/Photos"_s);
        QVERIFY(h.logLines.last().endsWith(u"] Set destination: /media/disk/Photos"_s));
    }

    // The real folder chooser hands back several folders at once.
    void folderChooserTakesSeveral()
    {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath(u"one"_s);
        QDir(dir.path()).mkpath(u"two"_s);
        QFileDialog dialog;
        QtDialogs::configureFolderChooser(dialog, {u"Pick"_s, u"Scan"_s, true, false,
                                                   QFile::encodeName(dir.path())});
        dialog.show();
        auto *view = dialog.findChild<QAbstractItemView *>(u"listView"_s);
        QVERIFY(view);
        auto *model = qobject_cast<QFileSystemModel *>(view->model());
        QVERIFY(model);
        const QModelIndex root = model->index(dir.path());
        QTRY_COMPARE(model->rowCount(root), 2);
        // As a user does it: click one folder, control-click the other.
        const auto click = [&](const QString &name, Qt::KeyboardModifiers modifiers) {
            const QModelIndex index = model->index(dir.path() + u'/' + name);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, view->visualRect(index).center());
        };
        click(u"one"_s, {});
        click(u"two"_s, Qt::ControlModifier);
        static_cast<QDialog &>(dialog).accept();
        QStringList chosen = dialog.selectedFiles();
        chosen.sort();
        QCOMPARE(chosen, (QStringList{dir.path() + u"/one"_s, dir.path() + u"/two"_s}));
    }
};

QTEST_MAIN(TestAppShell)
#include "test_appshell.moc"
