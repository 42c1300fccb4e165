#pragma once

// Mounts for file-system tests: a small tmpfs (another file system, or a full one), a
// read-only view of a folder and another folder of the same file system shown at `folder`
// (`options` names it). They need root; `ok` tells whether the mount worked, so the test
// can skip. Detached when destroyed, so declare them after the TestTree they live in.
#include <QByteArray>

#include <sys/mount.h>

struct TestMount
{
    enum Kind { tmpfs, readOnly, bind };
    const QByteArray dir;
    bool mounted, ok;

    TestMount(Kind kind, const QByteArray &folder, const char *options = "size=4m") : dir(folder)
    {
        mounted = kind == tmpfs ? ::mount("tmpfs", dir, "tmpfs", 0, options) == 0
                                : ::mount(kind == bind ? options : dir.constData(), dir, nullptr, MS_BIND, nullptr) == 0;
        ok = mounted && (kind != readOnly || ::mount(nullptr, dir, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0);
    }
    ~TestMount() { if (mounted) ::umount2(dir, MNT_DETACH); }
};
