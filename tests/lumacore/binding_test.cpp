// The waterfall binding over synthetic tables with holes, the level policy, and the library's own table.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "cpu/cpu_level.h"
#include "dispatch/dispatch_table.h"

namespace {

using lumacore::DispatchRecord;
using lumacore::GenericFn;

void Impl0() {}
void Impl1() {}
void Impl2() {}
void Impl3() {}
const GenericFn kImpls[4] = {Impl0, Impl1, Impl2, Impl3};

struct SyntheticTable {
    GenericFn slots[3] = {};
    DispatchRecord records[3];
    // holes[r][k]: record r has no implementation k.
    explicit SyntheticTable(const bool holes[3][4]) {
        for (int r = 0; r < 3; ++r) {
            records[r].name = "synthetic";
            records[r].slot = &slots[r];
            for (int k = 0; k < 4; ++k) records[r].impl[k] = holes[r][k] ? nullptr : kImpls[k];
        }
    }
};

TEST(DispatchBinding, FullTableBindsTheRequestedLevel) {
    const bool none[3][4] = {};
    for (int level = 0; level < 4; ++level) {
        SyntheticTable t(none);
        EXPECT_EQ(lumacore::BindDispatchTable(t.records, 3, level), level);
        for (GenericFn slot : t.slots) EXPECT_EQ(slot, kImpls[level]);
    }
}

TEST(DispatchBinding, HoleFallsBackDownTheRowAndKeepsEarlierSlots) {
    // Record 1 lacks level 3 and level 2: a level-3 binding tries 3 (stops at record 1), then 2 (stops at
    // record 1 again), then 1, which completes.
    const bool holes[3][4] = {
        {false, false, false, false}, {false, false, true, true}, {false, false, false, false}};
    SyntheticTable t(holes);
    EXPECT_EQ(lumacore::BindDispatchTable(t.records, 3, 3), 1);
    for (GenericFn slot : t.slots) EXPECT_EQ(slot, kImpls[1]);

    // A hole at the last record of every level: passes write the slots before it, then give up.
    const bool last[3][4] = {
        {false, false, false, false}, {false, false, false, false}, {true, true, true, true}};
    SyntheticTable u(last);
    EXPECT_EQ(lumacore::BindDispatchTable(u.records, 3, 2), -1);
    EXPECT_EQ(u.slots[0], kImpls[0]);  // the level-0 pass ran last and wrote the first two slots
    EXPECT_EQ(u.slots[1], kImpls[0]);
    EXPECT_EQ(u.slots[2], nullptr);
}

TEST(DispatchBinding, LevelRowsNeverClimb) {
    // Level 1 with only level 2 present cannot bind: rows go down, never up.
    const bool onlyTwo[3][4] = {
        {true, true, false, true}, {true, true, false, true}, {true, true, false, true}};
    SyntheticTable t(onlyTwo);
    EXPECT_EQ(lumacore::BindDispatchTable(t.records, 3, 1), -1);
    EXPECT_EQ(lumacore::BindDispatchTable(t.records, 3, 2), 2);
}

TEST(DispatchBinding, OutOfRangeArgumentsFail) {
    const bool none[3][4] = {};
    SyntheticTable t(none);
    EXPECT_EQ(lumacore::BindDispatchTable(t.records, 0, 0), -1);
    EXPECT_EQ(lumacore::BindDispatchTable(t.records, 3, 4), -1);
    EXPECT_EQ(lumacore::BindDispatchTable(t.records, 3, -1), -1);
}

TEST(DispatchBinding, FailureReportCarriesTheWaterfallMessage) {
    const bool all[3][4] = {{true, true, true, true}, {true, true, true, true}, {true, true, true, true}};
    SyntheticTable t(all);
    lumacore::BindFailureReport report;
    std::memset(&report, 0x55, sizeof report);
    EXPECT_FALSE(lumacore::AttachDispatchTable(t.records, 3, 3, &report));
    EXPECT_STREQ(report.text, " No lum matching to CPU was found during the Waterfall");
    EXPECT_STREQ(report.caption, "Set lum library error");

    const bool none[3][4] = {};
    SyntheticTable ok(none);
    EXPECT_TRUE(lumacore::AttachDispatchTable(ok.records, 3, 0, &report));
}

TEST(CpuLevel, FeaturesAndEnvironmentCap) {
    lumacore::CpuFeatures f;
    EXPECT_EQ(lumacore::LevelForFeatures(f), 0);
    f.sse2 = true;
    EXPECT_EQ(lumacore::LevelForFeatures(f), 1);
    f.sse41 = true;  // SSE4.1 without SSSE3 is not level 2
    EXPECT_EQ(lumacore::LevelForFeatures(f), 1);
    f.ssse3 = true;
    EXPECT_EQ(lumacore::LevelForFeatures(f), 2);
    f.avx2 = true;  // AVX2 without BMI1 and BMI2 is not level 3
    EXPECT_EQ(lumacore::LevelForFeatures(f), 2);
    f.bmi1 = true;
    EXPECT_EQ(lumacore::LevelForFeatures(f), 2);
    f.bmi2 = true;
    EXPECT_EQ(lumacore::LevelForFeatures(f), 3);

    struct Case {
        const char* env;
        int level;
        bool capped, ignored;
    } cases[] = {
        {nullptr, 3, false, false}, {"", 3, false, false}, {"0", 0, true, false},  {"2", 2, true, false},
        {"3", 3, false, false},     {"4", 3, false, true}, {"-1", 3, false, true}, {"1x", 3, false, true},
    };
    for (const Case& c : cases) {
        const auto choice = lumacore::ChooseCpuLevel(f, c.env);
        EXPECT_EQ(choice.level, c.level) << (c.env ? c.env : "(unset)");
        EXPECT_EQ(choice.capped, c.capped) << (c.env ? c.env : "(unset)");
        EXPECT_EQ(choice.envIgnored, c.ignored) << (c.env ? c.env : "(unset)");
    }
    // The cap never raises the level.
    lumacore::CpuFeatures plain;
    plain.sse2 = true;
    EXPECT_EQ(lumacore::ChooseCpuLevel(plain, "3").level, 1);
}

TEST(DispatchTable, SixtyNineCompleteRecordsInExportOrder) {
    ASSERT_EQ(lumacore::kDispatchTableCount, 69);
    std::ifstream in(QXR_SOURCE_DIR "/lumacore/exports.inc");
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    const std::regex line(R"(LUM_EXPORT\([^,]+, (\w+),)");
    int i = 0;
    std::set<GenericFn*> slots;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), line); it != std::sregex_iterator(); ++it, ++i) {
        ASSERT_LT(i, 69);
        const DispatchRecord& r = lumacore::DispatchTable()[i];
        EXPECT_EQ((*it)[1].str(), r.name);
        for (GenericFn impl : r.impl) EXPECT_NE(impl, nullptr) << r.name;
        EXPECT_NE(*r.slot, nullptr) << r.name << " was not bound at load";
        slots.insert(r.slot);
    }
    EXPECT_EQ(i, 69);
    EXPECT_EQ(slots.size(), 69u);
}

}  // namespace
