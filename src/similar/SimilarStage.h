#pragma once

#include "scan/ScanStage.h"

#include <QSize>

#include <functional>
#include <optional>

class FileSystem;
class LibraryCache;
struct PhotoSignature;

// The similar pass as a stage of the scan: signs every photo (from the library cache while
// its file is unchanged), groups the signatures, and orders each group best copy first
// (most pixels, then the largest file, then the oldest). A group whose members are all
// byte-identical is left to the duplicates. Cache and decodes are used on workers only.
class SimilarStage final : public ScanStage
{
public:
    // How a file is signed: its signature, if it is a picture, and its size in pixels.
    using Signer = std::function<std::optional<PhotoSignature>(const FilePath &path, QSize *pixels)>;

    explicit SimilarStage(const FileSystem &fs, const LibraryCache *cache = nullptr, Signer signer = {});

    QString startedText() const override;
    StageWork prepare(const LibraryState &library) const override;

private:
    const FileSystem &m_fs;
    const LibraryCache *m_cache;
    Signer m_signer;
};

namespace SimilarTexts {
QString progress(int position, int total);
// The status once both passes are done.
QString finished(qsizetype duplicateGroups, qsizetype similarGroups, qsizetype photoCount);
} // namespace SimilarTexts
