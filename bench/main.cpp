// Headless benchmarks of the core: lumisort-bench COMMAND [ARGS...]
#include "platform/PosixFileSystem.h"
#include "scan/FolderScanner.h"

#include <QList>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace {

int usage()
{
    std::fputs("usage: lumisort-bench scan [--list] DIR...\n"
               "  scan   walk the folders as the application does and print\n"
               "         photos=N dirs=M seconds=S (--list: each photo's path first)\n",
               stderr);
    return 2;
}

int scanCommand(int argc, char **argv)
{
    bool list = false;
    QList<FilePath> paths;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--list") == 0)
            list = true;
        else
            paths.append(FilePath(argv[i]));
    }
    if (paths.isEmpty())
        return usage();

    PosixFileSystem fs;
    std::atomic<bool> pause = false;
    std::atomic<bool> stop = false;
    ScanProgressSink progress;
    const auto start = std::chrono::steady_clock::now();
    const ScanResult result = scanFolders(fs, paths, {pause, stop}, progress);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    if (list) {
        for (const PhotoItem &photo : result.photos) {
            std::fwrite(photo.path().constData(), 1, size_t(photo.path().size()), stdout);
            std::fputc('\n', stdout);
        }
    }
    std::printf("photos=%lld dirs=%lld seconds=%.3f\n", static_cast<long long>(result.photos.size()),
                static_cast<long long>(result.directoryCount), elapsed.count());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::map<std::string, std::function<int(int, char **)>> commands = {
        {"scan", scanCommand},
    };
    if (argc < 2)
        return usage();
    const auto command = commands.find(argv[1]);
    if (command == commands.end())
        return usage();
    return command->second(argc - 2, argv + 2);
}
