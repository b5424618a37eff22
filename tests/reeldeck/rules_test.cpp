// The size rules, the command line and the hand-over word, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/command_line.h"
#include "gui/layout_rules.h"
#include "gui/still_export.h"

namespace reeldeck::gui {
namespace {

TEST(LayoutRules, PictureAreaKeepsWithin800By600) {
    const struct {
        Extent picture, area;
    } cases[] = {
        {{320, 240}, {320, 240}}, {{1024, 768}, {800, 600}}, {{640, 960}, {400, 600}},
        {{2000, 100}, {800, 40}}, {{801, 2000}, {240, 600}}, {{800, 600}, {800, 600}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FitPicture(c.picture), c.area) << c.picture.width << "x" << c.picture.height;
    }
}

TEST(LayoutRules, ZoomDoublesHalvesKeeps) {
    Extent area{320, 240};
    int step = 0;
    const Extent expected[] = {{640, 480}, {320, 240}, {320, 240}, {640, 480}};
    for (const Extent& want : expected) {
        area = ZoomedArea(area, step);
        step = NextZoomStep(step);
        EXPECT_EQ(area, want);
    }
    // Doubling a large picture stops at the limit.
    EXPECT_EQ(ZoomedArea({640, 480}, 0), (Extent{800, 600}));
}

TEST(LayoutRules, ViewerImageFramesThePicture) {
    const ViewerGeometry small = ComposeViewerGeometry({64, 48});
    EXPECT_EQ(small.image, (Extent{160, 200}));
    EXPECT_EQ(small.pictureX, 48);
    EXPECT_EQ(small.pictureY, 58);
    const ViewerGeometry vga = ComposeViewerGeometry({640, 480});
    EXPECT_EQ(vga.image, (Extent{688, 560}));
    EXPECT_EQ(vga.pictureX, 24);
    EXPECT_EQ(vga.pictureY, 22);
}

TEST(LayoutRules, ViewersStepDownThenStartANewColumn) {
    // 300-pixel windows on a 400-pixel screen: steps at 16, 32, 48, 64, 80, 96; the next would reach
    // 412, so the seventh step starts the second column at x 32.
    EXPECT_EQ(StaircasePosition(0, 300, 400), (Point{0, 0}));
    EXPECT_EQ(StaircasePosition(3, 300, 400), (Point{48, 48}));
    EXPECT_EQ(StaircasePosition(6, 300, 400), (Point{96, 96}));
    EXPECT_EQ(StaircasePosition(7, 300, 400), (Point{32, 0}));
    EXPECT_EQ(StaircasePosition(8, 300, 400), (Point{48, 16}));
    EXPECT_EQ(StaircasePosition(14, 300, 400), (Point{64, 0}));
}

TEST(CommandLine, QuotingRules) {
    using Args = std::vector<std::string>;
    const std::string longWord(1024, 'x');
    const struct {
        std::string line;
        Args args;
    } cases[] = {
        {"reeldeck a.m4f", {"reeldeck", "a.m4f"}},
        {" \treeldeck\t \"my file.jpf\"  ", {"reeldeck", "my file.jpf"}},
        {R"(p "a\"b\\c\d")", {"p", R"(a"b\c\d)"}},
        {R"(p "unterminated)", {"p"}},
        {"p " + longWord + " q", {"p"}},
        {"p \"" + longWord + "\"", {"p"}},
        {"1 2 3 4 5 6 7 8 9 10", {"1", "2", "3", "4", "5", "6", "7", "8"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseCommandLine(c.line), c.args) << c.line;
}

TEST(CommandLine, JoinedArgumentsParseBackUnchanged) {
    const std::vector<std::string> args = {"/usr/bin/reeldeck", "/tmp/a b/\"quoted\" \\ name.m4f", ""};
    EXPECT_EQ(ParseCommandLine(JoinArguments(args)), args);
}

TEST(CommandLine, HandOverWord) {
    EXPECT_EQ(HandOverWord(2), 0x12340002u);
    EXPECT_EQ(ClassifyHandOver(HandOverWord(2)), HandOverAction::kOpen);
    EXPECT_EQ(ClassifyHandOver(HandOverWord(3)), HandOverAction::kTooManyFiles);
    EXPECT_EQ(ClassifyHandOver(HandOverWord(1)), HandOverAction::kTooManyFiles);
    EXPECT_EQ(ClassifyHandOver(0x43210002u), HandOverAction::kIgnore);
}

TEST(StillExport, ProposedNameAndFormat) {
    EXPECT_EQ(ProposedSaveName("2026/12/10 Thu 14:35:07"), "20261210_143507");
    EXPECT_EQ(ProposedSaveName("2026/12/10 08:00:00.500"), "20261210_080000");
    EXPECT_EQ(ProposedSaveName(""), "_");
    EXPECT_EQ(ProposedSaveName("2026/12"), "202612_");
    const struct {
        const char* path;
        SaveFormat format;
    } cases[] = {
        {"/a/b.bmp", SaveFormat::kBitmap},       {"b.jpg", SaveFormat::kJpeg},
        {"b.BMP", SaveFormat::kUnsupported},     {"b.JPG", SaveFormat::kUnsupported},
        {"b.jpeg", SaveFormat::kUnsupported},    {"b", SaveFormat::kUnsupported},
        {"dir.bmp/b", SaveFormat::kUnsupported},
    };
    for (const auto& c : cases) EXPECT_EQ(SaveFormatOf(c.path), c.format) << c.path;
}

}  // namespace
}  // namespace reeldeck::gui
