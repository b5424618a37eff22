#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ini_test_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "cams.ini").string();
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Contents() const {
        std::ifstream in(path_);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir_;
    std::string path_;
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndWriteCreatesIt) {
    EXPECT_EQ(platform::IniGetString(path_, "A1", "SessionMode", "Tcp"), "Tcp");
    EXPECT_TRUE(platform::IniSectionNames(path_).empty());
    ASSERT_EQ(platform::IniWriteString(path_, "A1", "SessionMode", "UdpUnicast"), platform::IniStatus::kOk);
    EXPECT_EQ(Contents(), "[A1]\nSessionMode=UdpUnicast\n");
    // Names are found whatever their case; a second write replaces the value in place.
    EXPECT_EQ(platform::IniGetString(path_, "a1", "sessionmode", "Tcp"), "UdpUnicast");
    ASSERT_EQ(platform::IniWriteString(path_, "A1", "SESSIONMODE", "Tcp"), platform::IniStatus::kOk);
    EXPECT_EQ(Contents(), "[A1]\nSessionMode=Tcp\n");
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IniFileTest, ParsesBlanksCommentsAndKeepsOtherSections) {
    std::ofstream(path_) << "; cameras\r\n[ B2 ]\r\n  Mode = Udp Multicast \r\nnoequals\r\n\r\n[C3]\nk=v\n";
    EXPECT_EQ(platform::IniGetString(path_, "B2", "Mode", ""), "Udp Multicast");
    EXPECT_EQ(platform::IniGetString(path_, "B2", "noequals", "d"), "d");
    EXPECT_EQ(platform::IniGetString(path_, "C3", "missing", "d"), "d");
    EXPECT_EQ(platform::IniSectionNames(path_), (std::vector<std::string>{"B2", "C3"}));
    ASSERT_EQ(platform::IniWriteSection(path_, "B2", {"SessionMode=Tcp"}), platform::IniStatus::kOk);
    ASSERT_EQ(platform::IniWriteString(path_, "D4", "x", "1"), platform::IniStatus::kOk);
    EXPECT_EQ(Contents(), "; cameras\n[B2]\nSessionMode=Tcp\n[C3]\nk=v\n[D4]\nx=1\n");
}

TEST_F(IniFileTest, WriteIntoMissingFolderFails) {
    const std::string bad = (dir_ / "no" / "such.ini").string();
    EXPECT_EQ(platform::IniWriteString(bad, "A", "k", "v"), platform::IniStatus::kCannotWrite);
}

// Concurrent writers in one process each keep their key: the read-modify-write cycles are serialised.
TEST_F(IniFileTest, ConcurrentWritersLoseNothing) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t) {
        writers.emplace_back([this, t] {
            for (int i = 0; i < 10; ++i) {
                EXPECT_EQ(
                    platform::IniWriteString(path_, "S" + std::to_string(t), "k" + std::to_string(i), "v"),
                    platform::IniStatus::kOk);
            }
        });
    }
    for (auto& w : writers) w.join();
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(platform::IniGetString(path_, "S" + std::to_string(t), "k" + std::to_string(i), ""),
                      "v");
        }
    }
}

}  // namespace
