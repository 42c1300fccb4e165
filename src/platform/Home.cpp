#include "platform/Home.h"

#include <QFile>
#include <QtGlobal>

#include <pwd.h>
#include <unistd.h>

FilePath homeDirectory()
{
    FilePath home = qgetenv("HOME");
    if (!home.isEmpty())
        return home;
    if (const struct passwd *entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return FilePath(entry->pw_dir);
    return FilePath("/");
}

FilePath picturesDirectoryFrom(const FilePath &home, const QByteArray &userDirs)
{
    // Lines look like XDG_PICTURES_DIR="$HOME/Pictures"; only "$HOME/…" and absolute
    // values are allowed by the format.
    for (QByteArray line : userDirs.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith("XDG_PICTURES_DIR="))
            continue;
        QByteArray value = line.mid(17);
        if (value.size() < 2 || !value.startsWith('"') || !value.endsWith('"'))
            continue;
        value = value.mid(1, value.size() - 2).replace("\\\"", "\"").replace("\\\\", "\\");
        if (value.startsWith("$HOME/"))
            return home + value.mid(5);
        if (value.startsWith('/') && value != "/")
            return value;
        // "$HOME" alone means the folder is disabled: fall through to the default.
    }
    return home + "/Pictures";
}

FilePath picturesDirectory()
{
    const FilePath home = homeDirectory();
    FilePath config = qgetenv("XDG_CONFIG_HOME");
    if (!config.startsWith('/'))
        config = home + "/.config";
    QFile file(QFile::decodeName(config + "/user-dirs.dirs"));
    QByteArray contents;
    if (file.open(QIODevice::ReadOnly))
        contents = file.read(64 * 1024);
    return picturesDirectoryFrom(home, contents);
}
