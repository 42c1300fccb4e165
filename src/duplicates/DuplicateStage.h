#pragma once

#include "scan/ScanStage.h"

class FileSystem;

// The scan's duplicate pass as a stage: reads the library's photos, publishes the groups.
class DuplicateStage final : public ScanStage
{
public:
    explicit DuplicateStage(const FileSystem &fs) : m_fs(fs) {}

    QString startedText() const override;
    StageWork prepare(const LibraryState &library) const override;

private:
    const FileSystem &m_fs;
};
