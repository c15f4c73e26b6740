#include "errors/errorfile.h"
#include "stats/errormap.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace stats;

namespace {

std::string fixture(const char* name) {
    return std::string(TONYX_TEST_SOURCE_DIR) + "/tests/stats/data/" + name;
}

ErrorMap mapOf(const char* file, MapScale scale) {
    TallyTable table{};
    (void)errors::readErrorFile(fixture(file), table);
    return ErrorMap::fromTallies(table, scale);
}

// A cell by the intervals it stands for: (played, answered).
struct Cell {
    int played;
    int answered;
    int64_t count;
    double share;
};

struct MapCase {
    const char* name;
    MapScale scale;
    int rows, columns;
    int64_t total;
    std::vector<Cell> cells; // every other cell holds 0
};

int rowOf(const ErrorMap& map, int value) {
    for (int r = 0; r < map.rowCount(); ++r)
        if (map.rowValue(r) == value)
            return r;
    return -1;
}

int columnOf(const ErrorMap& map, int value) {
    for (int c = 0; c < map.columnCount(); ++c)
        if (map.columnValue(c) == value)
            return c;
    return -1;
}

class GoldenMap : public testing::TestWithParam<MapCase> {};

// golden.dat (tests/stats/data) was written with these counters: mod 12 answers in
// rows 7, 19, 12 and 24; pitch answers in row 3 (one above two octaves, one empty);
// class answers in rows 8 and 16; a negative counter in row 5; counters in rows 0
// and 30, which no drill asks.
TEST_P(GoldenMap, EveryCellHoldsItsCountAndShare) {
    const MapCase& c = GetParam();
    const ErrorMap map = mapOf("golden.dat", c.scale);
    ASSERT_EQ(map.rowCount(), c.rows);
    ASSERT_EQ(map.columnCount(), c.columns);
    EXPECT_EQ(map.total(), c.total);
    int64_t expectedNonZero = 0;
    for (const Cell& cell : c.cells) {
        const int r = rowOf(map, cell.played), col = columnOf(map, cell.answered);
        ASSERT_GE(r, 0);
        ASSERT_GE(col, 0);
        EXPECT_EQ(map.count(r, col), cell.count) << cell.played << " as " << cell.answered;
        EXPECT_DOUBLE_EQ(map.share(r, col), cell.share) << cell.played << " as " << cell.answered;
        ++expectedNonZero;
    }
    int64_t nonZero = 0;
    for (int r = 0; r < map.rowCount(); ++r)
        for (int col = 0; col < map.columnCount(); ++col)
            nonZero += map.count(r, col) != 0;
    EXPECT_EQ(nonZero, expectedNonZero);
}

INSTANTIATE_TEST_SUITE_P(
    Scales, GoldenMap,
    testing::Values(MapCase{"mod12",
                            MapScale::Mod12,
                            12,
                            12,
                            30,
                            // rows 7 and 19 meet in the fifth; 12 and 24 in the octave (0)
                            {{7, 7, 15, 0.75},
                             {7, 5, 2, 0.1},
                             {7, 6, 1, 0.05},
                             {7, 8, 2, 0.1},
                             {0, 0, 4, 0.4},
                             {0, 11, 4, 0.4},
                             {0, 10, 2, 0.2}}},
                    MapCase{"pitch",
                            MapScale::Pitch,
                            24,
                            26,
                            8,
                            // answers above 24 gather in the last column (25)
                            {{3, 3, 4, 0.5}, {3, 4, 1, 0.125}, {3, 25, 2, 0.25}, {3, 0, 1, 0.125}}},
                    MapCase{"class",
                            MapScale::IntervalClass,
                            7,
                            7,
                            5,
                            // a minor 6th and a major 10th are both class 4
                            {{4, 4, 4, 0.8}, {4, 3, 1, 0.2}}}),
    [](const testing::TestParamInfo<MapCase>& info) { return std::string(info.param.name); });

TEST(ErrorMap, RightShareIsTheDiagonalsShareAndZeroForAnEmptyRow) {
    const ErrorMap map = mapOf("golden.dat", MapScale::Mod12);
    EXPECT_DOUBLE_EQ(map.rightShare(rowOf(map, 7)), 0.75);
    EXPECT_DOUBLE_EQ(map.rightShare(rowOf(map, 0)), 0.4);
    EXPECT_EQ(map.rowTotal(rowOf(map, 5)), 0); // only a negative counter
    EXPECT_DOUBLE_EQ(map.rightShare(rowOf(map, 5)), 0.0);
}

TEST(ErrorMap, MissingEmptyAndAllZeroFilesGiveAnEmptyMap) {
    for (const char* file : {"no-such-file.dat", "empty.dat", "zeros.dat"})
        for (MapScale scale : {MapScale::Mod12, MapScale::Pitch, MapScale::IntervalClass}) {
            const ErrorMap map = mapOf(file, scale);
            EXPECT_TRUE(map.empty()) << file;
            EXPECT_GT(map.rowCount(), 0) << file;
        }
}

TEST(ErrorMap, CountersAtTheLimitAddUpWithoutWrapping) {
    TallyTable table{};
    for (int r = 1; r <= 24; ++r)
        table[static_cast<size_t>(r)].m12Correct = INT32_MAX;
    const ErrorMap map = ErrorMap::fromTallies(table, MapScale::Mod12);
    EXPECT_EQ(map.count(0, 0), 2 * int64_t{INT32_MAX}); // rows 12 and 24
    EXPECT_EQ(map.total(), 24 * int64_t{INT32_MAX});
}

TEST(ErrorMap, CellTextNamesBothIntervalsTheCountAndTheShare) {
    const ErrorMap mod12 = mapOf("golden.dat", MapScale::Mod12);
    EXPECT_EQ(mod12.cellText(rowOf(mod12, 7), columnOf(mod12, 5)),
              "perfect 5th answered as perfect 4th: 2 of 20 answers (10%)");
    EXPECT_EQ(mod12.cellText(rowOf(mod12, 7), columnOf(mod12, 7)),
              "perfect 5th answered right: 15 of 20 answers (75%)");
    EXPECT_EQ(mod12.cellText(rowOf(mod12, 5), columnOf(mod12, 5)),
              "perfect 4th answered right: 0 of 0 answers");
    const ErrorMap pitch = mapOf("golden.dat", MapScale::Pitch);
    EXPECT_EQ(pitch.cellText(rowOf(pitch, 3), columnOf(pitch, 25)),
              "minor 3rd (3) answered as more than two octaves: 2 of 8 answers (25%)");
    EXPECT_EQ(pitch.columnLabel(columnOf(pitch, 25)), ">24");
}

} // namespace
