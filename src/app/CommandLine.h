#pragma once

#include "model/PhotoItem.h"

#include <QList>

#include <optional>

// What the command line asks for, read before any window exists.
struct CommandLine
{
    // Set when the program ends at once (help, version, a bad argument), with the text to
    // print: on standard output for 0, on standard error otherwise.
    std::optional<int> exitCode;
    QByteArray message;
    // The folders to scan, absolute, byte-exact.
    QList<FilePath> folders;
};

// `lumisort [--help] [--version] [FOLDER...]`. A folder argument that is not a readable
// folder ends the program with status 2. Relative folders are taken from `workingDirectory`.
CommandLine parseCommandLine(int argc, const char *const argv[], const FilePath &workingDirectory);

// "/a/./b//c/" -> "/a/b/c", "/a/b/../c" -> "/a/c"; `path` is absolute.
FilePath cleanAbsolutePath(const FilePath &path);
