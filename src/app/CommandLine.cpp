#include "app/CommandLine.h"

#include <QCommandLineParser>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Why `path` cannot be scanned, or nothing when it can.
std::optional<QByteArray> unreadableFolder(const FilePath &path)
{
    struct stat st {};
    if (::stat(path.constData(), &st) != 0)
        return QByteArray(std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return QByteArray(std::strerror(ENOTDIR));
    if (::access(path.constData(), R_OK | X_OK) != 0)
        return QByteArray(std::strerror(errno));
    return std::nullopt;
}

} // namespace

FilePath cleanAbsolutePath(const FilePath &path)
{
    QList<QByteArray> parts;
    for (const QByteArray &part : path.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts << part;
    }
    return '/' + parts.join('/');
}

CommandLine parseCommandLine(int argc, const char *const argv[], const FilePath &workingDirectory)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(u"Finds photos in folders, shows them in a grid and finds "
                                      "exact duplicates."_s);
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Displays this help."_s);
    const QCommandLineOption version({u"v"_s, u"version"_s}, u"Displays version information."_s);
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(u"FOLDER"_s, u"Folders to scan; the scan starts at once."_s,
                                 u"[FOLDER...]"_s);
    if (!parser.parse(arguments))
        return {2, "lumisort: " + parser.errorText().toLocal8Bit() + '\n', {}};
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(u"<executable_name>"_s, u"lumisort"_s);
        return {0, text.toLocal8Bit(), {}};
    }
    if (parser.isSet(version))
        return {0, "Lumisort " LUMISORT_VERSION "\n", {}};

    // The folders come from argv itself: decoding could change a name that is not UTF-8.
    // Options take no values, so every argument that is not one is a folder.
    CommandLine result;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const FilePath argument(argv[i]);
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument.startsWith('-') && argument != "-")
            continue;
        // An empty argument names no folder (stat fails on it), not the working directory.
        // So is a relative one when the working folder is unknown.
        const FilePath path = argument.isEmpty() || (!argument.startsWith('/') && workingDirectory.isEmpty())
                                  ? FilePath()
                                  : cleanAbsolutePath(argument.startsWith('/') ? argument
                                                                               : workingDirectory + '/' + argument);
        if (const std::optional<QByteArray> reason = unreadableFolder(path))
            return {2, "lumisort: cannot scan " + argument + ": " + *reason + '\n', {}};
        result.folders << path;
    }
    return result;
}
