#pragma once

// Mounts for file-system tests: a small tmpfs (another file system, or a full one), a
// read-only view of a folder and another folder of the same file system shown at `folder`
// (`options` names it). They need root; `ok` tells whether the mount worked, so the test
// can skip. Detached when destroyed, so declare them after the TestTree they live in.
#include <QByteArray>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

struct TestMount
{
    enum Kind { tmpfs, readOnly, bind };
    const QByteArray dir;
    bool ok = false;

    TestMount(Kind kind, const QByteArray &folder, const char *options = "size=4m") : dir(folder)
    {
        if (kind != readOnly)
            ok = kind == tmpfs ? ::mount("tmpfs", dir, "tmpfs", 0, options) == 0
                               : ::mount(options, dir, nullptr, MS_BIND, nullptr) == 0;
        else if ((mounted = ::mount(dir, dir, nullptr, MS_BIND, nullptr) == 0))
            ok = ::mount(nullptr, dir, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
        mounted = mounted || ok;
    }
    ~TestMount() { if (mounted) ::umount2(dir, MNT_DETACH); }

private:
    bool mounted = false;
};

// A file's bytes, or "<missing>".
inline QByteArray fileBytes(const QByteArray &path)
{
    const int fd = ::open(path, O_RDONLY);
    if (fd < 0)
        return "<missing>";
    QByteArray bytes;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    ::close(fd);
    return bytes;
}
