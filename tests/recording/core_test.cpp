// The recorded-file layer's building blocks: the locked list, the path string, the byte streams and the
// report channel.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "core/byte_stream.h"
#include "core/locked_list.h"
#include "core/path_string.h"
#include "core/report.h"
#include "core/string_table.h"
#include "test_support.h"

namespace reeldeck {
namespace {

using recording_test::ReportRecorder;
using recording_test::ScratchDir;

TEST(LockedList, IndexesFollowAppendOrderAndLookupsAgreeFromAnyCursor) {
    LockedList<int> list;
    for (int i = 0; i < 50; ++i) EXPECT_EQ(list.Append(i * 10), static_cast<std::size_t>(i));
    EXPECT_EQ(list.Count(), 50u);
    // Sequential, backward and scattered lookups all find the element with that index.
    for (int i = 0; i < 50; ++i) EXPECT_EQ(list.At(static_cast<std::size_t>(i)), i * 10);
    for (int i = 49; i >= 0; --i) EXPECT_EQ(list.At(static_cast<std::size_t>(i)), i * 10);
    std::mt19937 random(7);
    for (int n = 0; n < 200; ++n) {
        const std::size_t i = random() % 50;
        EXPECT_EQ(list.At(i), static_cast<int>(i) * 10);
    }
    EXPECT_THROW(list.At(50), ListIndexError);
    list.Visit(3, [](int& value) { value = -1; });
    EXPECT_EQ(list.At(3), -1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_THROW(list.At(0), ListIndexError);
    EXPECT_EQ(list.Append(5), 0u);  // indexes restart after a clear
}

TEST(LockedList, FindLastWalksFromTheCursorInBothDirections) {
    LockedList<int> starts;  // non-decreasing, with repeats, as video starts are
    for (int s : {0, 100, 100, 250, 250, 250, 400, 1000}) starts.Append(s);
    auto unitFor = [&](int position) {
        return starts.FindLast([position](const int& s) { return s <= position; });
    };
    struct Case {
        int position;
        std::size_t unit;
    };
    // Visited in an order that makes the cursor move forward and backward over several nodes.
    const Case cases[] = {{1500, 7}, {0, 0},   {399, 5}, {100, 2},  {99, 0},
                          {-1, 0},   {250, 5}, {999, 6}, {1000, 7}, {101, 2}};
    for (const Case& c : cases) EXPECT_EQ(unitFor(c.position), c.unit) << "position " << c.position;
    LockedList<int> empty;
    EXPECT_THROW(empty.FindLast([](const int&) { return true; }), ListIndexError);
}

TEST(PathString, PartsOfAPath) {
    struct Case {
        const char* path;
        const char* file;
        const char* directory;
        const char* extension;
    };
    const Case cases[] = {
        {"/data/cam/REC05.M4F", "REC05.M4F", "/data/cam", "M4F"},
        {"C:\\rec\\a.b\\07.jpf", "07.jpf", "C:\\rec\\a.b", "jpf"},
        {"name", "name", "", ""},
        {"/top", "top", "/", ""},
        {"dir.x/noext", "noext", "dir.x", ""},
        {"archive.tar.gz", "archive.tar.gz", "", "gz"},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        const PathString p(c.path);
        EXPECT_EQ(p.FilePart().View(), c.file) << c.path;
        EXPECT_EQ(p.DirectoryPart().View(), c.directory) << c.path;
        EXPECT_EQ(p.Extension().View(), c.extension) << c.path;
    }
    EXPECT_EQ(PathString("rec05.m4f-x").UpperCase().View(), "REC05.M4F-X");
    EXPECT_EQ(PathString("abcdef").Substring(2, 3).View(), "cde");
    EXPECT_EQ(PathString("abcdef").Substring(4).View(), "ef");
    EXPECT_TRUE(PathString("abc").Substring(9).Empty());
}

TEST(PathString, ConcatenationTruncatesAtCapacityAndSaysSo) {
    PathString p(std::string(250, 'a'));
    EXPECT_TRUE(p.Append("/12345678"));
    EXPECT_EQ(p.Length(), 259u);
    EXPECT_FALSE(p.Truncated());
    EXPECT_FALSE(p.Append("x"));
    EXPECT_EQ(p.Length(), PathString::kMaxLength);
    EXPECT_TRUE(p.Truncated());
    EXPECT_EQ(p.c_str()[PathString::kMaxLength], '\0');
    EXPECT_FALSE(PathString().Assign(std::string(300, 'b')));
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(ByteStream, FileStreamSeeksWithinTheFileAndClampsReads) {
    ScratchDir dir;
    WriteBytes(dir / "ten", "0123456789");
    FileStream s;
    ASSERT_EQ(s.Open(dir / "ten"), 1);
    EXPECT_EQ(s.Size(), 10);
    struct SeekCase {
        int64_t position;
        int result;
    };
    for (const SeekCase c : {SeekCase{0, 1}, {9, 1}, {10, 0}, {-1, 0}, {5, 1}})
        EXPECT_EQ(s.Seek(c.position), c.result);
    EXPECT_EQ(s.Tell(), 5);  // failed seeks do not move
    EXPECT_EQ(s.Skip(3), 1);
    EXPECT_EQ(s.Skip(2), 0);
    char buffer[16] = {};
    int64_t got = -1;
    EXPECT_EQ(s.Read(buffer, 16, got), 1);  // min(count, size - position)
    EXPECT_EQ(got, 2);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(s.Tell(), 10);
    EXPECT_EQ(s.Read(buffer, 4, got), 1);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(s.Write(buffer, 1, got), 0);
    s.Seek(6);
    EXPECT_TRUE(ReadExactly(s, buffer, 4));
    s.Seek(6);
    EXPECT_FALSE(ReadExactly(s, buffer, 5));

    MemoryStream m("abc", 3);
    EXPECT_EQ(m.Seek(3), 0);
    EXPECT_TRUE(ReadExactly(m, buffer, 3));
    EXPECT_EQ(std::string(buffer, 3), "abc");
}

TEST(ByteStream, FileStreamRefusesWhatItCannotPlay) {
    ScratchDir dir;
    FileStream s;
    EXPECT_EQ(s.Open(dir / "missing"), 0);
    EXPECT_EQ(s.Open(dir.path()), 0);  // a directory
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(s.Open(dir / "fifo"), 0);  // and does not wait for a writer
    WriteBytes(dir / "empty", "");
    ASSERT_EQ(s.Open(dir / "empty"), 1);
    EXPECT_EQ(s.Seek(0), 0);  // nothing to seek to in an empty file

    // The size limit, on sparse files that take no space.
    for (const int64_t size : {FileStream::kMaxFileSize - 1, FileStream::kMaxFileSize, int64_t{1} << 32}) {
        const std::string path = dir / "big";
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);
        EXPECT_EQ(s.Open(path), size < FileStream::kMaxFileSize ? 1 : 0) << size;
    }
}

TEST(StringTable, TextsByNumber) {
    struct Case {
        int number;
        const char* text;
    };
    const Case cases[] = {{0, ""},
                          {1, "QXR video player"},
                          {5, "Open"},
                          {15, "Cancel"},
                          {16, "Unknown"},
                          {23, "G.711 ( 64 kbps )"},
                          {29, "G.726 ( Unknown )"},
                          {30, "Playback is canceled due to an error."},
                          {33, "Cannot change current directory."},
                          {54, "Cannot read index data."},
                          {62, "Cannot get data."},
                          {73, "waveOutPrepareHeader function error."},
                          {78, "Cannot decode JPEG data."},
                          {79, ""},
                          {-4, ""}};
    for (const Case& c : cases) EXPECT_EQ(LoadText(c.number), c.text) << c.number;
}

TEST(Report, GoesToTheLogTheDebuggerAndAnErrorBox) {
    ReportRecorder recorder;
    // A log left by an earlier run is replaced at the first report of this one, then appended to.
    WriteBytes(ReportLogPath(), "> old.cpp(1) : from before\n");
    ReportError("/src/app/core/qxr_file_manager.cpp", 123, 60);
    LogReport("C:\\src\\player.cpp", 7, 30);
    LogText("/src/app/vello/mpeg4/mp4parse.cpp", 250, "Error: interlaced vol is not supported.");
    EXPECT_EQ(recorder.Log(),
              "> qxr_file_manager.cpp(123) : Cannot find a file.\n"
              "> player.cpp(7) : Playback is canceled due to an error.\n"
              "> mp4parse.cpp(250) : Error: interlaced vol is not supported.\n");
    ASSERT_EQ(recorder.boxes.size(), 1u);  // LogReport and LogText show no box
    EXPECT_EQ(recorder.boxes[0].text, "Cannot find a file.");
    EXPECT_EQ(recorder.boxes[0].caption, "ERROR");
    ASSERT_EQ(recorder.debug.size(), 3u);
    EXPECT_EQ(recorder.debug[0], "> qxr_file_manager.cpp(123) : Cannot find a file.\n");
    EXPECT_EQ(ReportLogPath(), recorder.Directory() + "/report.txt");
}

TEST(Report, StateDirectoryFollowsTheEnvironment) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string keepState = savedState != nullptr ? savedState : "";
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    ::setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
    EXPECT_EQ(DefaultReportDirectory(), "/var/tmp/state/reeldeck");
    ::setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: ignored
    EXPECT_EQ(DefaultReportDirectory(), home.empty() ? "" : home + "/.local/state/reeldeck");
    if (savedState != nullptr) {
        ::setenv("XDG_STATE_HOME", keepState.c_str(), 1);
    } else {
        ::unsetenv("XDG_STATE_HOME");
    }

    // The log's directory is made at the first report.
    ScratchDir dir;
    ReportRecorder recorder;
    SetReportDirectory(dir / "deep/er");
    ReportError(__FILE__, __LINE__, 57);
    EXPECT_NE(recording_test::ReadWholeFile(dir / "deep/er/report.txt").find("Invalid extension."),
              std::string::npos);
}

}  // namespace
}  // namespace reeldeck
