#include "platform/Home.h"

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
