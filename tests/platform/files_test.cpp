// The file helpers against the inputs and outputs that broke the tools: directories, devices, FIFOs,
// files larger than a command reads, full devices, an output that is the input, and failures halfway.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/input_file.h"
#include "platform/output_file.h"
#include "platform/wav_file.h"

namespace {

namespace fs = std::filesystem;
using platform::FileStatus;

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::path(QXR_BINARY_DIR) / "platform_files_test" /
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    std::string Put(const std::string& name, const std::string& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    // The names in the directory: a failed output must leave no temporary file behind.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path dir_;
};

TEST_F(FilesTest, InputsThatAreNoRegularFileOrTooLargeAreRefusedWithTheReason) {
    const std::string small = Put("small.bin", "0123456789");
    const std::string big = (dir_ / "big.bin").string();
    // Sparse: the size is checked before anything is read, so this costs no disk and no time.
    { std::ofstream(big, std::ios::binary).put('x'); }
    fs::resize_file(big, std::uint64_t{3} << 30);
    const std::string fifo = (dir_ / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);

    struct Case {
        std::string path;
        std::size_t limit;
        platform::InputKind kind;
        FileStatus status;
        std::string message;  // a part of the message
    };
    const Case cases[] = {
        {small, 10, platform::InputKind::kRegularFile, FileStatus::kOk, ""},
        {small, 9, platform::InputKind::kRegularFile, FileStatus::kTooLarge, "10 bytes, more than the 9"},
        {big, 1 << 20, platform::InputKind::kRegularFile, FileStatus::kTooLarge, "3221225472 bytes"},
        {dir_.string(), 100, platform::InputKind::kRegularFile, FileStatus::kNotRegular, "is a directory"},
        {dir_.string(), 100, platform::InputKind::kFileOrStream, FileStatus::kNotRegular, "is a directory"},
        {"/dev/zero", 100, platform::InputKind::kRegularFile, FileStatus::kNotRegular, "character device"},
        // A stream without end stops at the limit instead of taking all memory.
        {"/dev/zero", 3 << 20, platform::InputKind::kFileOrStream, FileStatus::kTooLarge, "larger than"},
        // A FIFO without a writer neither blocks the open nor is read.
        {fifo, 100, platform::InputKind::kRegularFile, FileStatus::kNotRegular, "is a FIFO"},
        {(dir_ / "missing").string(), 100, platform::InputKind::kRegularFile, FileStatus::kOpenFailed,
         "No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::vector<uint8_t> data;
        std::string error;
        EXPECT_EQ(platform::ReadFile(c.path, c.limit, &data, &error, c.kind), c.status);
        if (c.status == FileStatus::kOk) {
            EXPECT_EQ(std::string(data.begin(), data.end()), "0123456789");
            EXPECT_TRUE(error.empty());
        } else {
            EXPECT_TRUE(data.empty());
            EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << error;
            EXPECT_NE(error.find(c.message), std::string::npos) << error;
        }
    }
}

TEST_F(FilesTest, AStreamIsReadWholeInPieces) {
    // A pipe delivers in pieces of at most 64 KiB; ReadAll must gather them all.
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fds[0]);
    std::string sent(200000, '\0');
    for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7);
    std::thread writer([&] {
        std::size_t at = 0;
        while (at < sent.size())
            at += static_cast<std::size_t>(::write(fds[1], sent.data() + at, sent.size() - at));
        ::close(fds[1]);
    });
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_EQ(platform::ReadFile(path, 1 << 20, &data, &error, platform::InputKind::kFileOrStream),
              FileStatus::kOk)
        << error;
    writer.join();
    ::close(fds[0]);
    EXPECT_EQ(std::string(data.begin(), data.end()), sent);
}

TEST_F(FilesTest, AnOutputAppearsOnlyOnCommitAndAFailureKeepsThePreviousFile) {
    const std::string target = Put("out.bin", "previous");
    ::chmod(target.c_str(), 0640);
    {
        platform::OutputFile out;
        ASSERT_EQ(out.Open(target), FileStatus::kOk);
        ASSERT_EQ(out.Write("half", 4), FileStatus::kOk);
        EXPECT_EQ(Slurp(target), "previous");
        // Dropped without Commit(): as if the command had failed halfway.
    }
    EXPECT_EQ(Slurp(target), "previous");
    EXPECT_EQ(Names(), std::vector<std::string>{"out.bin"});

    platform::OutputFile out;
    ASSERT_EQ(out.Open(target), FileStatus::kOk);
    const std::string big(300000, 'b');  // past the write buffer
    ASSERT_EQ(out.Write("new ", 4), FileStatus::kOk);
    ASSERT_EQ(out.Write(big.data(), big.size()), FileStatus::kOk);
    ASSERT_EQ(out.WriteAt(0, "NEW", 3), FileStatus::kOk);
    ASSERT_EQ(out.Commit(), FileStatus::kOk);
    EXPECT_EQ(Slurp(target), "NEW " + big);
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Names(), std::vector<std::string>{"out.bin"});
}

TEST_F(FilesTest, AnOutputThroughASymbolicLinkReplacesTheFileItNames) {
    const std::string real = Put("real.bin", "old");
    const std::string link = (dir_ / "link.bin").string();
    fs::create_symlink(real, link);
    std::string error;
    const uint8_t bytes[] = {'n', 'e', 'w'};
    ASSERT_EQ(platform::WriteFile(link, bytes, &error), FileStatus::kOk) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Slurp(real), "new");
}

TEST_F(FilesTest, OutputsThatCannotBeWrittenFailWithTheReasonAndLeaveNothing) {
    const std::string input = Put("in.bin", "input");
    const std::string hardLink = (dir_ / "alias.bin").string();
    fs::create_hard_link(input, hardLink);
    const std::string inputs[] = {input};
    struct Case {
        std::string path;
        FileStatus status;
        std::string message;
    };
    const Case cases[] = {
        {input, FileStatus::kSameAsInput, "is the input"},
        {hardLink, FileStatus::kSameAsInput, "is the input"},  // one file by device and inode
        {dir_.string(), FileStatus::kNotRegular, "is a directory"},
        {(dir_ / "no/such/dir/out.bin").string(), FileStatus::kOpenFailed, "No such file or directory"},
        {"/dev/full", FileStatus::kWriteFailed, "No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string error;
        const std::vector<uint8_t> bytes(100, 1);
        EXPECT_EQ(platform::WriteFile(c.path, bytes, &error, inputs), c.status);
        EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
    }
    EXPECT_EQ(Slurp(input), "input");
    EXPECT_EQ(Names(), (std::vector<std::string>{"alias.bin", "in.bin"}));

    // A device is written in place, never replaced.
    std::string error;
    EXPECT_EQ(platform::WriteFile("/dev/null", std::vector<uint8_t>(10), &error), FileStatus::kOk) << error;
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST_F(FilesTest, WavFileHoldsLittleEndianSamplesAndItsSizes) {
    const std::string path = (dir_ / "t.wav").string();
    platform::WavFileWriter wav;
    ASSERT_EQ(wav.Open(path, 2, 8000), FileStatus::kOk);
    const int16_t first[] = {1, -2};
    const int16_t second[] = {0x1234, -32768};
    ASSERT_EQ(wav.Append(first), FileStatus::kOk);
    ASSERT_EQ(wav.Append(second), FileStatus::kOk);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_EQ(wav.Finish(), FileStatus::kOk);
    const std::string f = Slurp(path);
    const auto header = platform::WavHeader(2, 8000, 8);
    ASSERT_EQ(f.size(), 52u);
    EXPECT_EQ(f.substr(0, 44), std::string(header.begin(), header.end()));
    EXPECT_EQ(f.substr(0, 4) + f.substr(8, 8) + f.substr(36, 4), "RIFFWAVEfmt data");
    const std::string le("\x01\x00\xfe\xff\x34\x12\x00\x80", 8);
    EXPECT_EQ(f.substr(44), le);
    // Sizes, rate, byte rate and block alignment, little-endian.
    EXPECT_EQ(f.substr(4, 4), std::string("\x2c\x00\x00\x00", 4));
    EXPECT_EQ(f.substr(22, 14), std::string("\x02\x00\x40\x1f\x00\x00\x00\x7d\x00\x00\x04\x00\x10\x00", 14));
    EXPECT_EQ(f.substr(40, 4), std::string("\x08\x00\x00\x00", 4));
}

}  // namespace
