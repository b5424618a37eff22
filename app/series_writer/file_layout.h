// The pieces of one series file that the whole-series writer and the live writer share: the headers up to
// the "movi" list, a picture with the camera's records added, the index, and the file name of a series
// number.
#ifndef REELDECK_SERIES_WRITER_FILE_LAYOUT_H
#define REELDECK_SERIES_WRITER_FILE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "series_writer/series_writer.h"

namespace reeldeck::series::layout {

using Bytes = std::vector<uint8_t>;

void PutTag(Bytes& out, uint32_t value);
void PatchLe32(Bytes& out, std::size_t at, uint32_t value);

// Where the sizes of the "movi" list and of the whole RIFF form are patched once the file is whole.
struct FileStart {
    std::size_t moviSizeAt = 0;  // the "movi" list's size field
    std::size_t moviAt = 0;      // the "movi" tag: index offsets count from here
};

// Appends "RIFF" .. "movi" with the main header `mainSize` bytes long (176 unless damaged) and the audio
// header when `audioHeader` is set.
FileStart AppendFileStart(Bytes& file, const SeriesSpec& spec, uint32_t mainSize, bool audioHeader);

// The picture with its camera records for camera time `ms` (milliseconds since 1970, UTC): for MPEG-4 as
// user data in front of the VOP start code, for JPEG as an APP2 text segment behind SOI (behind a JFIF APP0
// segment when there is one). With spec.variants.noRecords the picture as it is.
Bytes WithRecords(const SeriesSpec& spec, const Frame& frame, int64_t ms);

struct IndexEntry {
    uint32_t tag;
    uint32_t offset;  // from the "movi" tag to the chunk's tag
    uint32_t size;
};

// Appends "idx1" with its entries; the size field claims `extraEntries` entries more than are written.
void AppendIndex(Bytes& file, const std::vector<IndexEntry>& index, std::size_t extraEntries = 0);

// True when a reader holds `path` open (readers take a shared lock): such a file is not replaced.
bool HeldByReader(const std::string& path);

// directory + "/" + prefix + two digits + "." + the extension (the codec's by default).
std::string SeriesFilePath(const SeriesSpec& spec, int number);

}  // namespace reeldeck::series::layout

#endif
