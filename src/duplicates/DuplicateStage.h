#pragma once

#include "scan/ScanStage.h"

class FileSystem;
class LibraryCache;

// The scan's duplicate pass as a stage: reads the library's photos, publishes the groups.
// With a cache, files whose digests it holds for their present stamps are not read, what
// the pass read goes into it, and rows of files long unseen leave it; the cache is used on
// the stage's worker only, and a cache that fails changes nothing but one log line.
class DuplicateStage final : public ScanStage
{
public:
    explicit DuplicateStage(const FileSystem &fs, const LibraryCache *cache = nullptr) : m_fs(fs), m_cache(cache) {}

    QString startedText() const override;
    StageWork prepare(const LibraryState &library) const override;

private:
    const FileSystem &m_fs;
    const LibraryCache *m_cache;
};
