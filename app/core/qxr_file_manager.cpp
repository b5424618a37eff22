#include "core/qxr_file_manager.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "core/path_string.h"
#include "core/report.h"
#include "core/string_table.h"

namespace reeldeck {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The series number: the two characters before the ".EXT" of a name of length L >= 6, or -1 when they
// are not both decimal digits.
int SeriesNumber(std::string_view name) {
    if (name.size() < 6) return -1;
    const char tens = name[name.size() - 6];
    const char ones = name[name.size() - 5];
    if (!IsDigit(tens) || !IsDigit(ones)) return -1;
    return (tens - '0') * 10 + (ones - '0');
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return PathString(a).UpperCase() == PathString(b).UpperCase();
}

bool ReadTag(ByteStream& stream, uint32_t& value) {
    uint8_t bytes[4];
    if (!ReadExactly(stream, bytes, 4)) return false;
    value = LoadLe32(bytes);
    return true;
}

bool ExpectTag(ByteStream& stream, uint32_t wanted) {
    uint32_t value = 0;
    return ReadTag(stream, value) && value == wanted;
}

struct Candidate {
    int number;
    std::string name;
};

}  // namespace

int QXRFileManager::Open(const std::string& path) {
    Clear();

    // 1. Directory and name. The directory is opened by name (never made the current directory, which
    //    would race with every other thread's relative paths).
    const std::size_t sep = path.find_last_of("\\/");
    const std::string directory = sep == std::string::npos ? "." : sep == 0 ? "/" : path.substr(0, sep);
    const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) {
        REELDECK_REPORT(msg::kCannotChangeDirectory);
        return kBadDirectory;
    }

    // 2-4. Extension, length and the opened file's own series number. File names are at most 255 bytes,
    //      so the name fits a PathString whole.
    const PathString upperName = PathString(name).UpperCase();
    const PathString extension = upperName.Extension();
    if (upperName.Truncated() || (extension.View() != "M4F" && extension.View() != "JPF")) {
        ::closedir(dir);
        REELDECK_REPORT(msg::kInvalidExtension);
        return kBadExtension;
    }
    const std::size_t length = upperName.Length();
    if (length < 6 || SeriesNumber(name) < 0) {
        ::closedir(dir);
        REELDECK_REPORT(msg::kInvalidFileName);
        return kBadName;
    }
    const std::string_view prefix = upperName.View().substr(0, length - 6);
    const std::string_view dotExtension = upperName.View().substr(length - 4);

    // 5-6. Every non-directory of the same length, prefix and extension, in any letter case, whose two
    //      series characters are digits. Names with other characters there are not part of the series.
    bool anyMatch = false;
    std::vector<Candidate> kept;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view entryName = entry->d_name;
        if (entryName.size() != length) continue;
        if (!SameIgnoringCase(entryName.substr(0, length - 6), prefix) ||
            !SameIgnoringCase(entryName.substr(length - 4), dotExtension))
            continue;
        anyMatch = true;
        const std::string full = directory + "/" + std::string(entryName);
        struct stat st {};
        if (::stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        const int number = SeriesNumber(entryName);
        if (number >= 0) kept.push_back({number, std::string(entryName)});
    }
    ::closedir(dir);
    if (!anyMatch || kept.empty()) {
        REELDECK_REPORT(msg::kCannotFindFile);
        return kNoFile;
    }

    // 7-8. Sort by series number (names break ties, so the order never depends on the directory's), open
    //      every file and note which one the user opened.
    std::sort(kept.begin(), kept.end(), [](const Candidate& a, const Candidate& b) {
        return a.number != b.number ? a.number < b.number : a.name < b.name;
    });
    int chosen = -1;
    for (const Candidate& candidate : kept) {
        SeriesFile file;
        file.info.path = directory + "/" + candidate.name;
        file.info.seriesNumber = candidate.number;
        auto stream = std::make_shared<FileStream>();
        if (stream->Open(file.info.path) == 1) {
            file.info.opened = true;
            file.info.size = stream->Size();
            file.stream = std::move(stream);
        }
        const std::size_t number = files_.Append(std::move(file));
        if (candidate.name == name) chosen = static_cast<int>(number);
    }

    // 9-10.
    return BuildIndex(chosen);
}

int QXRFileManager::OpenStreams(std::vector<std::unique_ptr<ByteStream>> streams, int chosenFile) {
    Clear();
    int number = 0;
    for (auto& stream : streams) {
        SeriesFile file;
        file.info.path = "stream " + std::to_string(number);
        file.info.seriesNumber = number++;
        if (stream != nullptr) {
            file.info.opened = true;
            file.info.size = stream->Size();
            file.stream = std::move(stream);
        }
        files_.Append(std::move(file));
    }
    return BuildIndex(chosenFile);
}

void QXRFileManager::Clear() {
    videoRefs_.Clear();
    audioRefs_.Clear();
    mainHeaders_.Clear();
    movieHeaders_.Clear();
    audioHeaders_.Clear();
    files_.Clear();  // closes the files
}

int QXRFileManager::BuildIndex(int chosenFile) {
    int64_t videoTotal = 0;  // the running totals span the whole series
    int64_t audioTotal = 0;
    const std::size_t fileCount = files_.Count();
    int failure = 0;
    for (std::size_t i = 0; i < fileCount && failure == 0; ++i) {
        std::shared_ptr<ByteStream> stream;
        try {
            stream = files_.At(i).stream;
        } catch (const ListIndexError&) {
            failure = msg::kMovieFileCollapsed;
            break;
        }
        if (stream == nullptr) continue;  // could not be opened: skipped like a bad header
        const int firstUnit = static_cast<int>(videoRefs_.Count());
        const int parsed = ParseFile(*stream, static_cast<int>(i), videoTotal, audioTotal);
        if (parsed < 0) {
            failure = -parsed;
            break;
        }
        files_.Visit(i, [&](SeriesFile& file) {
            file.info.parsed = parsed == 1;
            file.info.firstUnit = firstUnit;
            file.info.unitCount = static_cast<int>(videoRefs_.Count()) - firstUnit;
        });
    }
    if (failure == 0 && videoRefs_.Count() != audioRefs_.Count()) failure = msg::kCannotCreateSync;
    if (failure != 0) {
        REELDECK_REPORT(failure);
        REELDECK_REPORT(msg::kCannotGetData);
        Clear();
        return kNoData;
    }

    // The first unit that belongs to the chosen file: by its video chunk, or by its audio chunk when it
    // has no video.
    const int units = UnitCount();
    for (int unit = 0; unit < units && chosenFile >= 0; ++unit) {
        ChunkRef video, audio;
        VideoRef(unit, video);
        AudioRef(unit, audio);
        const ChunkRef& owner = video.dataPosition != 0 ? video : audio;
        if (owner.dataPosition != 0 && owner.fileNumber == chosenFile) return unit;
    }
    return 0;
}

int QXRFileManager::ParseFile(ByteStream& stream, int fileNumber, int64_t& videoTotal, int64_t& audioTotal) {
    uint32_t value = 0;
    if (stream.Seek(0) != 1) return 0;  // an empty file
    if (!ExpectTag(stream, tag::kRiff) || !ReadTag(stream, value) || !ExpectTag(stream, tag::kForm) ||
        !ExpectTag(stream, tag::kList) || !ReadTag(stream, value) || !ExpectTag(stream, tag::kHdrl))
        return 0;

    uint8_t mainBytes[kMainHeaderSize];
    if (!ExpectTag(stream, tag::kMainHeader) || !ReadTag(stream, value) || value != kMainHeaderSize ||
        !ReadExactly(stream, mainBytes, kMainHeaderSize))
        return 0;
    QxrMainHeader main;
    DecodeMainHeader(mainBytes, main);

    uint8_t movieBytes[kMovieHeaderSize];
    if (!ExpectTag(stream, tag::kMovieHeader) || !ReadTag(stream, value) || value != kMovieHeaderSize ||
        !ReadExactly(stream, movieBytes, kMovieHeaderSize))
        return 0;
    QxrMovieHeader movie;
    DecodeMovieHeader(movieBytes, movie);

    QxrAudioHeader audio;
    const bool hasAudio = main.streamCount == 2;
    if (hasAudio) {
        uint8_t audioBytes[kAudioHeaderSize];
        if (!ExpectTag(stream, tag::kAudioHeader) || !ReadTag(stream, value) || value != kAudioHeaderSize ||
            !ReadExactly(stream, audioBytes, kAudioHeaderSize))
            return 0;
        DecodeAudioHeader(audioBytes, audio);
    }

    uint32_t listSize = 0;
    if (!ExpectTag(stream, tag::kList) || !ReadTag(stream, listSize)) return 0;
    const int64_t moviPosition = stream.Tell();  // the chunk offsets count from here
    if (!ExpectTag(stream, tag::kMovi) || stream.Skip(static_cast<int64_t>(listSize) - 4) != 1) return 0;
    // A file cut short before its index is skipped like one with a bad header.
    uint32_t indexSize = 0;
    if (!ExpectTag(stream, tag::kIndex) || !ReadTag(stream, indexSize)) return 0;

    mainHeaders_.Append(main);
    movieHeaders_.Append(movie);
    if (hasAudio) audioHeaders_.Append(audio);

    const int64_t fileSize = stream.Size();
    uint32_t previousTag = tag::kAudioChunk;  // so that a leading audio chunk starts a unit of its own
    while (indexSize > 0) {
        uint8_t entry[kIndexEntrySize];
        if (!ReadExactly(stream, entry, kIndexEntrySize)) return -msg::kCannotReadIndex;
        indexSize = indexSize > kIndexEntrySize ? indexSize - kIndexEntrySize : 0;
        const uint32_t entryTag = LoadLe32(entry);
        // Other tags are skipped and not remembered: an audio chunk after one of them still pairs as if
        // it were not there, and never overwrites the audio of the unit before it.
        if (entryTag != tag::kVideoChunk && entryTag != tag::kAudioChunk) continue;

        // A chunk that reaches past the end of its file keeps only the bytes the file holds (none when it
        // starts past the end), so every byte a unit promises can be read and playback never waits on a
        // chunk that cannot be delivered.
        ChunkRef ref;
        ref.fileNumber = fileNumber;
        ref.dataPosition = moviPosition + LoadLe32(entry + 4) + kChunkDataBias;
        ref.size = static_cast<int32_t>(
            std::clamp<int64_t>(fileSize - ref.dataPosition, 0, static_cast<int64_t>(LoadLe32(entry + 8))));

        if (entryTag == tag::kVideoChunk) {
            videoTotal += ref.size;
            ref.cumulative = videoTotal;
            ChunkRef noAudio;
            noAudio.cumulative = audioTotal;
            videoRefs_.Append(ref);
            audioRefs_.Append(noAudio);
        } else {
            if (previousTag == tag::kAudioChunk) {
                ChunkRef noVideo;
                noVideo.cumulative = videoTotal;
                videoRefs_.Append(noVideo);
                audioRefs_.Append(ChunkRef{});
            }
            audioTotal += ref.size;
            ref.cumulative = audioTotal;
            const std::size_t last = audioRefs_.Count() - 1;
            audioRefs_.Visit(last, [&](ChunkRef& slot) { slot = ref; });
        }
        previousTag = entryTag;
    }
    return 1;
}

int QXRFileManager::UnitCount() const {
    const std::size_t video = videoRefs_.Count();
    const std::size_t audio = audioRefs_.Count();
    return video == audio ? static_cast<int>(video) : 0;
}

int QXRFileManager::MainHeader(int index, QxrMainHeader& out) const {
    out = QxrMainHeader{};
    if (index < 0) return 0;
    try {
        out = mainHeaders_.At(static_cast<std::size_t>(index));
        return 1;
    } catch (const ListIndexError&) {
        return 0;
    }
}

int QXRFileManager::MovieHeader(int index, QxrMovieHeader& out) const {
    out = QxrMovieHeader{};
    if (index < 0) return 0;
    try {
        out = movieHeaders_.At(static_cast<std::size_t>(index));
        return 1;
    } catch (const ListIndexError&) {
        return 0;
    }
}

int QXRFileManager::AudioHeader(int index, QxrAudioHeader& out) const {
    out = QxrAudioHeader{};
    if (index < 0) return 0;
    try {
        out = audioHeaders_.At(static_cast<std::size_t>(index));
        return 1;
    } catch (const ListIndexError&) {
        return 0;
    }
}

int QXRFileManager::VideoRef(int unit, ChunkRef& out) const {
    out = ChunkRef{};
    if (unit < 0) return 0;
    try {
        out = videoRefs_.At(static_cast<std::size_t>(unit));
        return 1;
    } catch (const ListIndexError&) {
        return 0;
    }
}

int QXRFileManager::AudioRef(int unit, ChunkRef& out) const {
    out = ChunkRef{};
    if (unit < 0) return 0;
    try {
        out = audioRefs_.At(static_cast<std::size_t>(unit));
        return 1;
    } catch (const ListIndexError&) {
        return 0;
    }
}

int32_t QXRFileManager::VideoSize(int unit) const {
    ChunkRef ref;
    VideoRef(unit, ref);
    return ref.size;
}

int32_t QXRFileManager::AudioSize(int unit) const {
    ChunkRef ref;
    AudioRef(unit, ref);
    return ref.size;
}

int64_t QXRFileManager::VideoStart(int unit) const {
    ChunkRef ref;
    VideoRef(unit, ref);
    return ref.cumulative - ref.size;
}

int QXRFileManager::ReadVideo(void* buffer, int64_t offsetInChunk, int64_t count, int64_t& bytesRead,
                              int unit) {
    return ReadChunk(videoRefs_, buffer, offsetInChunk, count, bytesRead, unit);
}

int QXRFileManager::ReadAudio(void* buffer, int64_t offsetInChunk, int64_t count, int64_t& bytesRead,
                              int unit) {
    return ReadChunk(audioRefs_, buffer, offsetInChunk, count, bytesRead, unit);
}

int QXRFileManager::ReadChunk(const LockedList<ChunkRef>& refs, void* buffer, int64_t offsetInChunk,
                              int64_t count, int64_t& bytesRead, int unit) {
    bytesRead = 0;
    if (unit < 0 || offsetInChunk < 0 || count < 0) return 0;
    ChunkRef ref;
    std::shared_ptr<ByteStream> stream;
    try {
        ref = refs.At(static_cast<std::size_t>(unit));  // the reference list's lock only
        if (offsetInChunk >= ref.size) return 0;
        stream = files_.At(static_cast<std::size_t>(ref.fileNumber)).stream;  // then the file list's
    } catch (const ListIndexError&) {
        return 0;
    }
    if (stream == nullptr || stream->Seek(ref.dataPosition + offsetInChunk) != 1) return 0;
    return stream->Read(buffer, std::min<int64_t>(count, ref.size - offsetInChunk), bytesRead);
}

int QXRFileManager::UnitForVideoPosition(int64_t position) {
    try {
        return static_cast<int>(videoRefs_.FindLast(
            [position](const ChunkRef& ref) { return ref.cumulative - ref.size <= position; }));
    } catch (const ListIndexError&) {
        return 0;
    }
}

int QXRFileManager::FileCount() const {
    return static_cast<int>(files_.Count());
}

int QXRFileManager::FileInfo(int index, SeriesFileInfo& out) const {
    out = SeriesFileInfo{};
    if (index < 0) return 0;
    try {
        out = files_.At(static_cast<std::size_t>(index)).info;
        return 1;
    } catch (const ListIndexError&) {
        return 0;
    }
}

}  // namespace reeldeck
