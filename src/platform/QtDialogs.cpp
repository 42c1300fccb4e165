#include "platform/QtDialogs.h"

#include "platform/FileSystem.h"
#include "platform/Home.h"

#include <QAbstractItemView>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include <sys/stat.h>

namespace {

// The folder asked for, or its nearest parent if it has gone; without one, the home folder
// (Qt's own default is the program's working folder, meaningless when started from a menu).
FilePath startFolder(const FilePath &requested)
{
    FilePath folder = requested.isEmpty() ? homeDirectory() : requested;
    struct stat st;
    while (folder.size() > 1 && (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode)))
        folder = parentPath(folder);
    return folder;
}

} // namespace

void QtDialogs::configureFolderChooser(QFileDialog &dialog, const FolderChooserRequest &request)
{
    dialog.setFileMode(QFileDialog::Directory);
    // Native and portal choosers pick a single folder at most; Qt's own dialog can be
    // told to take several by opening up its views' selection.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    dialog.setWindowTitle(request.message);
    dialog.setLabelText(QFileDialog::Accept, request.prompt);
    dialog.setLabelText(QFileDialog::LookIn, request.message);
    dialog.setDirectory(QFile::decodeName(startFolder(request.startDirectory)));
    if (request.allowsMultiple) {
        const auto views = dialog.findChildren<QAbstractItemView *>();
        for (QAbstractItemView *view : views)
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
}

std::optional<QList<FilePath>> QtDialogs::chooseFolders(const FolderChooserRequest &request)
{
    QFileDialog dialog(m_parent);
    configureFolderChooser(dialog, request);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QList<FilePath> paths;
    const QStringList chosen = dialog.selectedFiles();
    for (const QString &path : chosen)
        paths << QFile::encodeName(path);
    if (paths.isEmpty())
        return std::nullopt;
    return paths;
}

int QtDialogs::runAlert(const AlertRequest &request)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(QStringLiteral("Lumisort"));
    box.setText(request.message);
    box.setInformativeText(request.informativeText);
    QList<QPushButton *> buttons;
    for (const QString &title : request.buttons)
        buttons << box.addButton(title, buttons.isEmpty() ? QMessageBox::AcceptRole
                                                          : QMessageBox::RejectRole);
    if (!buttons.isEmpty()) {
        box.setDefaultButton(buttons.first());
        if (buttons.size() > 1)
            box.setEscapeButton(buttons.last());
    }
    box.exec();
    if (buttons.isEmpty()) // the box's own "OK"
        return box.clickedButton() ? 0 : -1;
    return int(buttons.indexOf(static_cast<QPushButton *>(box.clickedButton())));
}
