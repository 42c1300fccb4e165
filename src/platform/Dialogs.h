#pragma once

#include "model/PhotoItem.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

struct FolderChooserRequest
{
    QString message;             // tells the user what the folders are for
    QString prompt;              // the confirm button's title
    bool allowsMultiple = false;
    bool canCreateFolders = false;
    FilePath startDirectory;     // empty: the home folder; gone: its nearest existing parent
};

struct AlertRequest
{
    QString message;
    QString informativeText;
    QStringList buttons; // in order, the first is the default; empty gives a single "OK"
};

// The modal questions the application asks. Tests script their answers.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // The chosen folders in the chooser's order, or nothing when cancelled.
    virtual std::optional<QList<FilePath>> chooseFolders(const FolderChooserRequest &request) = 0;
    // The index of the button pressed, or -1 when the alert was dismissed otherwise.
    virtual int runAlert(const AlertRequest &request) = 0;
};
