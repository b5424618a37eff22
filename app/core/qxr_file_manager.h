// QXRFileManager: finds the series of recorded files that an opened file belongs to, parses the headers
// and index of every file and presents the whole series as one run of data units, numbered from 0, each
// pairing at most one video chunk with the audio that follows it.
//
// Threads: the main-window thread opens, clears, asks for headers and maps positions to units; the
// engine's supplier thread asks for sizes and reads chunk bytes. Each list has its own lock, held only
// for the list operation; a read takes the reference list's lock to find the chunk, releases it, takes the
// file list's lock to find the stream, releases it, and then seeks and reads with no lock held. Open and
// Clear must not run while the supplier reads (the engine stops its threads first).
#ifndef REELDECK_CORE_QXR_FILE_MANAGER_H
#define REELDECK_CORE_QXR_FILE_MANAGER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/locked_list.h"
#include "core/qxr_format.h"

namespace reeldeck {

// Where one unit's video or audio bytes lie. Positions and running totals are 64-bit: a series of up to
// 100 files of up to 2 GB each runs far past 2^31 bytes.
struct ChunkRef {
    int32_t fileNumber = 0;    // the chunk's file in the sorted series (0 for an empty reference)
    int64_t dataPosition = 0;  // absolute position of the chunk data in that file (0: empty reference)
    int32_t size = 0;          // bytes (0 for an empty reference)
    int64_t cumulative = 0;    // bytes of this kind from the start of the series through this unit
};

// One file of the series as the open found it.
struct SeriesFileInfo {
    std::string path;
    int seriesNumber = 0;  // the two digits before the extension
    int64_t size = 0;      // bytes; 0 when it could not be opened
    bool opened = false;
    bool parsed = false;  // headers and index read; a file that fails is skipped
    int firstUnit = 0;
    int unitCount = 0;
};

class QXRFileManager {
  public:
    // Open's failure codes (each reported with its message first).
    static constexpr int kBadDirectory = -1;  // 33 "Cannot change current directory."
    static constexpr int kBadExtension = -2;  // 57 "Invalid extension."
    static constexpr int kBadName = -3;       // 58 "Invalid file name."
    static constexpr int kNoFile = -5;        // 60 "Cannot find a file."
    static constexpr int kNoData = -7;        // 62 "Cannot get data." (after 54, 55 or 56)

    QXRFileManager() = default;
    ~QXRFileManager() = default;
    QXRFileManager(const QXRFileManager&) = delete;
    QXRFileManager& operator=(const QXRFileManager&) = delete;

    // Opens the series that the file at `path` belongs to. Result: the first unit of the opened file (0
    // when it has none), or a negative code above. Everything of a previous series is discarded first.
    int Open(const std::string& path);
    // Indexes a series given as streams in series order (`chosenFile` as Open's opened file): the index
    // build and results of Open without the directory search. For data that is not in a directory.
    int OpenStreams(std::vector<std::unique_ptr<ByteStream>> streams, int chosenFile);
    // Empties all lists and closes all files.
    void Clear();

    // The number of data units; 0 when the video and audio reference lists disagree.
    int UnitCount() const;

    // 1 and a copy of the header of the index-th parsed file (skipped files do not count); 0 and a zeroed
    // header when there is none. Audio headers count only files that have one.
    int MainHeader(int index, QxrMainHeader& out) const;
    int MovieHeader(int index, QxrMovieHeader& out) const;
    int AudioHeader(int index, QxrAudioHeader& out) const;

    // The unit's chunk sizes; 0 for an empty reference or a unit past the end.
    int32_t VideoSize(int unit) const;
    int32_t AudioSize(int unit) const;
    // The unit's first byte in the concatenated video of the series (0 past the end).
    int64_t VideoStart(int unit) const;
    // The unit's references (1), or 0 and empty references past the end.
    int VideoRef(int unit, ChunkRef& out) const;
    int AudioRef(int unit, ChunkRef& out) const;

    // Reads up to `count` bytes of the unit's chunk from `offsetInChunk`. 1 on success; 0 (and nothing
    // read) when the offset lies at or past the chunk's end, or the seek or the read fails.
    int ReadVideo(void* buffer, int64_t offsetInChunk, int64_t count, int64_t& bytesRead, int unit);
    int ReadAudio(void* buffer, int64_t offsetInChunk, int64_t count, int64_t& bytesRead, int unit);

    // The unit k with VideoStart(k) <= position < VideoStart(k + 1); the last unit at or beyond the last
    // start; 0 before the first. Walks from the last unit found, so playback's positions cost a step.
    int UnitForVideoPosition(int64_t position);

    // The files of the series in sorted order, skipped ones included.
    int FileCount() const;
    int FileInfo(int index, SeriesFileInfo& out) const;

  private:
    struct SeriesFile {
        SeriesFileInfo info;
        std::shared_ptr<ByteStream> stream;  // null when the file could not be opened
    };

    int BuildIndex(int chosenFile);
    // Reads one file's headers and index; appends to the lists. 1 parsed, 0 skipped, <0 a message number
    // that ends the build (negated).
    int ParseFile(ByteStream& stream, int fileNumber, int64_t& videoTotal, int64_t& audioTotal);
    int ReadChunk(const LockedList<ChunkRef>& refs, void* buffer, int64_t offsetInChunk, int64_t count,
                  int64_t& bytesRead, int unit);

    LockedList<SeriesFile> files_;
    LockedList<QxrMainHeader> mainHeaders_;
    LockedList<QxrMovieHeader> movieHeaders_;
    LockedList<QxrAudioHeader> audioHeaders_;
    mutable LockedList<ChunkRef> videoRefs_;
    mutable LockedList<ChunkRef> audioRefs_;
};

}  // namespace reeldeck

#endif
