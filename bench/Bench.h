#pragma once
// What the lumisort-bench commands share: their entry points, the usage text, timing, memory
// and argument helpers.
#include <QByteArrayList>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

// Prints every command's usage to standard error; returns the exit status 2.
int usage();

// Scan and duplicates (ScanBench.cpp).
int scanCommand(int argc, char **argv);
int duplicatesCommand(int argc, char **argv);
int publishCommand(int argc, char **argv);
// Thumbnails and decoding (ImagingBench.cpp).
int thumbnailsCommand(int argc, char **argv);
int makePhotosCommand(int argc, char **argv);
int makeHostileCommand(int argc, char **argv);
int decodeMemoryCommand(int argc, char **argv);
// The window, phase by phase (WindowBench.cpp).
int filterCommand(int argc, char **argv);
int searchCommand(int argc, char **argv);
int gridCommand(int argc, char **argv);
int deleteStallCommand(int argc, char **argv);
int stallsCommand(int argc, char **argv);
// Similar photos (SimilarBench.cpp).
int similarCommand(int argc, char **argv);
int similarGroupCommand(int argc, char **argv);
int similarCostCommand(int argc, char **argv);
// File runs (FileOpsBench.cpp).
int fileOpsCommand(int argc, char **argv);

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The process's peak resident memory so far, in MB.
inline long peakRssMB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// The number argument at `index`, or `fallback` when there are fewer arguments.
inline int intArgument(int argc, char **argv, int index, int fallback)
{
    return argc > index ? std::atoi(argv[index]) : fallback;
}

// Groups of paths on standard output, as tools that find copies print them, so outputs
// compare with diff: each group's paths sorted and tab-separated, one line each, sorted.
inline void printGroups(std::vector<QByteArrayList> groups)
{
    std::vector<QByteArray> lines;
    for (QByteArrayList &members : groups) {
        std::sort(members.begin(), members.end());
        lines.push_back(members.join('\t'));
    }
    std::sort(lines.begin(), lines.end());
    for (const QByteArray &line : lines) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
        std::fputc('\n', stdout);
    }
}
