#pragma once

#include "platform/Dialogs.h"

#include <QPointer>
#include <QWidget>

class QFileDialog;

// The real dialogs: Qt's file dialog and message box, modal to `parent`.
class QtDialogs final : public Dialogs
{
public:
    explicit QtDialogs(QWidget *parent = nullptr) : m_parent(parent) {}

    void setParent(QWidget *parent) { m_parent = parent; }

    std::optional<QList<FilePath>> chooseFolders(const FolderChooserRequest &request) override;
    int runAlert(const AlertRequest &request) override;

    // Sets up `dialog` as the request asks; split out so that it can be checked without
    // running the dialog.
    static void configureFolderChooser(QFileDialog &dialog, const FolderChooserRequest &request);

private:
    QPointer<QWidget> m_parent;
};
