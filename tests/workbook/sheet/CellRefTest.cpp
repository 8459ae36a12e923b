#include "workbook/sheet/CellRef.h"

#include <gtest/gtest.h>

using namespace markwell::sheet;

TEST(CellRef, ColumnNamesRoundTripOverTheWholeSheet) {
    for (int col = 0; col < kMaxColumns; ++col) {
        const std::string name = columnName(col);
        ASSERT_EQ(parseColumnName(name), col) << name;
    }
    EXPECT_EQ(columnName(0), "A");
    EXPECT_EQ(columnName(25), "Z");
    EXPECT_EQ(columnName(26), "AA");
    EXPECT_EQ(columnName(255), "IV");
    EXPECT_EQ(parseColumnName("IW"), std::nullopt);
    EXPECT_EQ(parseColumnName("ag"), 32);
}

TEST(CellRef, A1TextRoundTripsWithDollarFlags) {
    struct Case {
        const char* text;
        int row, col;
        bool rowAbs, colAbs;
    };
    const Case cases[] = {
        {"A1", 0, 0, false, false},   {"$H$10", 9, 7, true, true},
        {"B$5", 4, 1, true, false},   {"$IV65536", 65535, 255, false, true},
        {"AG5", 4, 32, false, false},
    };
    for (const Case& c : cases) {
        const auto ref = parseA1(c.text);
        ASSERT_TRUE(ref) << c.text;
        EXPECT_EQ(ref->pos, (CellPos{c.row, c.col})) << c.text;
        EXPECT_EQ(ref->rowAbs, c.rowAbs) << c.text;
        EXPECT_EQ(ref->colAbs, c.colAbs) << c.text;
        EXPECT_EQ(toA1(ref->pos, ref->rowAbs, ref->colAbs), c.text);
    }
}

TEST(CellRef, RefusesTextThatIsNoCellOfTheSheet) {
    for (const char* bad : {"", "A", "1", "A0", "A65537", "IW1", "A01", "$$A1", "A1$", "A-1", "A1B", "GradeTable"}) {
        EXPECT_FALSE(parseA1(bad)) << bad;
    }
}

TEST(CellRef, AreasAreOrderedAndPrinted) {
    const auto area = parseArea("K6:G6");
    ASSERT_TRUE(area);
    EXPECT_EQ(*area, (Area{{5, 6}, {5, 10}}));
    EXPECT_EQ(toA1(*area), "G6:K6");
    EXPECT_EQ(toA1(Area{{4, 1}, {4, 1}}), "B5");
    EXPECT_FALSE(parseArea("G6:"));
}
