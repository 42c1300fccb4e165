#include "platform/FileSystem.h"

#include <utility>

FilePath appendPathComponent(const FilePath &dir, QByteArrayView name)
{
    FilePath result;
    result.reserve(dir.size() + name.size() + 1);
    result.append(dir);
    if (!result.endsWith('/'))
        result.append('/');
    while (name.startsWith('/'))
        name = name.sliced(1);
    result.append(name);
    return result;
}

QByteArrayView lastPathComponent(QByteArrayView path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    if (path == "/")
        return path;
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.sliced(slash + 1);
}

FilePath parentPath(const FilePath &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash <= 0 ? FilePath("/") : path.left(slash);
}

QByteArrayView pathExtension(QByteArrayView name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QByteArrayView() : name.sliced(dot + 1);
}

namespace {

struct Frame
{
    FilePath dir;
    std::vector<DirEntry> entries;
    size_t next = 0;
};

std::optional<Frame> openFrame(const FileSystem &fs, FilePath dir, const WalkVisitor &visitor)
{
    std::optional<std::vector<DirEntry>> entries = fs.listDirectory(dir);
    if (!entries)
        return std::nullopt;
    if (visitor.listed)
        visitor.listed(dir, *entries);
    return Frame{std::move(dir), std::move(*entries), 0};
}

} // namespace

bool walkTree(const FileSystem &fs, const FilePath &root, const WalkVisitor &visitor)
{
    std::optional<Frame> rootFrame = openFrame(fs, root, visitor);
    if (!rootFrame)
        return false;

    // An explicit stack: deep trees must not exhaust the thread's stack.
    std::vector<Frame> stack;
    stack.push_back(std::move(*rootFrame));
    while (!stack.empty()) {
        Frame &top = stack.back();
        if (top.next == top.entries.size()) {
            stack.pop_back();
            continue;
        }
        const DirEntry &dirEntry = top.entries[top.next++];
        FilePath path = appendPathComponent(top.dir, dirEntry.name);

        // The listing's entry type spares a stat for plain files and directories.
        bool descend = false;
        bool isDir = false;
        switch (dirEntry.type) {
        case EntryType::directory:
            descend = isDir = true;
            break;
        case EntryType::symlink:
            isDir = fs.isDirectory(path, true);
            break;
        case EntryType::unknown:
            descend = fs.isDirectory(path, false);
            isDir = descend || fs.isDirectory(path, true);
            break;
        case EntryType::file:
        case EntryType::other:
            break;
        }

        const WalkEntry entry{path, dirEntry.name, isDir};
        if (!visitor.entry(entry))
            return true;
        if (descend && (!visitor.descend || visitor.descend(entry))) {
            // `top` may dangle once the stack grows.
            if (std::optional<Frame> child = openFrame(fs, std::move(path), visitor))
                stack.push_back(std::move(*child));
        }
    }
    return true;
}
