#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>
#include <span>

enum class ScanState { idle, scanning, paused, stopping };

enum class ViewMode { all, duplicates, similar };

// Whether a copy-and-move run copies or moves; the controller exposes it as its own
// nested FileOperation type.
enum class FileOperation { copy, move };

// The type filter. Declaration order is the order of the type menu's entries.
enum class FileTypeFilter { all, jpeg, png, gif, heic, tiff, bmp, webp };

namespace FileTypeFilters {

inline constexpr std::array<FileTypeFilter, 8> allCases = {
    FileTypeFilter::all,  FileTypeFilter::jpeg, FileTypeFilter::png, FileTypeFilter::gif,
    FileTypeFilter::heic, FileTypeFilter::tiff, FileTypeFilter::bmp, FileTypeFilter::webp,
};

// The menu title, e.g. "All Types", "JPEG", "WebP".
QString rawValue(FileTypeFilter filter);
// The case whose title is exactly `raw` (letter case included), if any.
std::optional<FileTypeFilter> fromRawValue(QStringView raw);
// Lower-case extensions without dots; those of `all` are what the scanner accepts.
std::span<const QStringView> extensions(FileTypeFilter filter);

} // namespace FileTypeFilters
