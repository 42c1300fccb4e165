// Headless benchmarks of the core: lumisort-bench COMMAND [ARGS...]. Each family of
// commands has its own file; this one holds the command table and the usage text.
#include "Bench.h"

#include <cstdio>
#include <functional>
#include <map>
#include <string>

int usage()
{
    std::fputs("usage: lumisort-bench scan [--list] DIR...\n"
               "       lumisort-bench duplicates [--cache DIR [--warm]] DIR...\n"
               "       lumisort-bench publish [PHOTOS [PERCENT]]\n"
               "       lumisort-bench thumbnails [--each] [--cache DIR] DIR [N]\n"
               "       lumisort-bench make-photos DIR [COUNT]\n"
               "       lumisort-bench make-hostile DIR\n"
               "       lumisort-bench decode-memory FILE [COVER_WIDTH COVER_HEIGHT]\n"
               "       lumisort-bench filter [PHOTOS]\n"
               "       lumisort-bench search [PHOTOS]\n"
               "       lumisort-bench grid [CARDS]\n"
               "       lumisort-bench delete-stall [PHOTOS [DELETED]]\n"
               "       lumisort-bench fileops DIR N\n"
               "       lumisort-bench stalls [--cache DIR] DIR\n"
               "       lumisort-bench similar [--signatures FILE] DIR...\n"
               "       lumisort-bench similar-group [COUNT]\n"
               "       lumisort-bench similar-cost DIR [N]\n"
               "  scan        walk the folders as the application does and print\n"
               "              photos=N dirs=M seconds=S (--list: each photo's path first)\n"
               "  duplicates  scan, then one duplicate pass: each group's paths, sorted and\n"
               "              tab-separated, one line per group, lines sorted; on standard\n"
               "              error photos=N groups=G ids=I seconds=S; --cache DIR: twice, as the\n"
               "              window does, with the cache in DIR, emptied first: cold_seconds=C\n"
               "              warm_seconds=W cache_bytes=B bytes_per_row=P reused=R/N first;\n"
               "              --warm: only the second run, with the cache as it is\n"
               "  publish     time publishing a pass on the GUI thread, and pruning its groups\n"
               "              after a delete, for PHOTOS synthetic photos (100000) of which\n"
               "              PERCENT (100) are in pairs\n"
               "  thumbnails  scan DIR, then time making the thumbnails of its first N (100)\n"
               "              photos on every core: count=N seconds=S peak_rss_mb=R (made=M on\n"
               "              standard error); --each: first each alone, file=F seconds=S made=0|1;\n"
               "              --cache: twice with shared thumbnails under DIR, cold (its size\n"
               "              folders emptied first) then warm: cold_seconds=S warm_seconds=W\n"
               "  make-photos write COUNT (100) 4000 x 3000 JPEGs (quality 90) of gradients,\n"
               "              shapes and sensor-like noise into DIR\n"
               "  make-hostile write 28 small files named like photos that claim or inflate to\n"
               "              gigabytes, keep a decoder busy for minutes, or are cut short, into DIR\n"
               "  decode-memory  decode FILE as a thumbnail or preview would: made=0|1 grew=B\n"
               "              (peak resident bytes over those before) charged=C (its budget)\n"
               "  filter      time the window's applyFilters() over PHOTOS (200000) synthetic\n"
               "              photos for a search, a type and the duplicates mode: one line\n"
               "              case=NAME ms=M (best of 5) each\n"
               "  search      over PHOTOS (1000000) synthetic photos, time building the search\n"
               "              index, then typing \"img_1\" key by key: each key's filter\n"
               "              narrowed from the previous key, from scratch, and by\n"
               "              filterPhotos (best of 5, filterPhotos of 2; ms)\n"
               "  grid        time painting one screenful of a page of CARDS (5000) cards at\n"
               "              scroll positions through the page (offscreen)\n"
               "  delete-stall  the window deletes DELETED (1000) real files of a library of\n"
               "              PHOTOS (100000) to a trash in a temporary folder; prints the\n"
               "              longest the event loop went unserved (worst_ms) and the total\n"
               "  fileops     copy, move and trash N generated 1 MB photos in DIR through\n"
               "              the window's own code: op=copy|move|trash ms=M\n"
               "  stalls      the window scans DIR, then is browsed and deletes 10000 photos\n"
               "              (put back afterwards); per phase the longest the event loop\n"
               "              went unserved: phase=NAME worst_ms=W ...\n"
               "  similar     scan, sign every photo on 2 threads, group similar ones: each\n"
               "              group's paths, sorted and tab-separated, one line per group, lines\n"
               "              sorted; on standard error photos=N signed=S groups=G seconds=T;\n"
               "              --signatures: each photo's path and signature bands into FILE\n"
               "  similar-group  group COUNT (1000000) synthetic signatures, every tenth a near\n"
               "              copy: seconds, groups, bytes_per_photo (peak memory, signatures too)\n"
               "  similar-cost  for the first N (1000) photos of DIR on 2 threads: thumbnails\n"
               "              alone (the better of a run before and one after), and thumbnails\n"
               "              with signatures from the same decodes, then signatures alone as a\n"
               "              scan's similar pass takes them: times and ratios to thumbnails\n",
               stderr);
    return 2;
}

int main(int argc, char **argv)
{
    const std::map<std::string, std::function<int(int, char **)>> commands = {
        {"scan", scanCommand},
        {"duplicates", duplicatesCommand},
        {"publish", publishCommand},
        {"thumbnails", thumbnailsCommand},
        {"make-photos", makePhotosCommand},
        {"make-hostile", makeHostileCommand},
        {"decode-memory", decodeMemoryCommand},
        {"filter", filterCommand},
        {"search", searchCommand},
        {"grid", gridCommand},
        {"delete-stall", deleteStallCommand},
        {"fileops", fileOpsCommand},
        {"stalls", stallsCommand},
        {"similar", similarCommand},
        {"similar-group", similarGroupCommand},
        {"similar-cost", similarCostCommand},
    };
    if (argc < 2)
        return usage();
    const auto command = commands.find(argv[1]);
    if (command == commands.end())
        return usage();
    return command->second(argc - 2, argv + 2);
}
