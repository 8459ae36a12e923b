#include "workbook/render/SheetLayout.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

using namespace markwell::render;
using markwell::sheet::Area;
using markwell::sheet::Sheet;

namespace {

constexpr int kMdw = 7; // 10-point Arial

void setWidth(Sheet& s, int col, double characters) {
    s.columnInfo(col).width256 = width256FromCharacters(characters, kMdw);
}

void setHeight(Sheet& s, int row, double points) {
    s.rowInfo(row).heightTwips = static_cast<int>(points * 20 + 0.5);
}

TEST(SheetLayout, ColumnWidthsInCharactersBecomeWholePixels) {
    // Widths as a spreadsheet program shows them, and the pixels it draws them with.
    const std::pair<double, int> widths[] = {{1.71, 17}, {37, 264},  {18.71, 136}, {9.71, 73},
                                             {8.57, 65}, {9.14, 69}, {8.43, 64},   {0, 0}};
    for (const auto& [characters, pixels] : widths) {
        EXPECT_EQ(columnPixelsFromWidth256(width256FromCharacters(characters, kMdw), kMdw), pixels) << characters;
    }
    EXPECT_EQ(width256FromCharacters(8.43, kMdw), 2340); // the stored width of a default column
    EXPECT_EQ(defaultColumnPixels(8, kMdw), 64);
    EXPECT_EQ(defaultColumnPixels(8, 8), 72);
    EXPECT_EQ(columnPixelsFromWidth256(-5, kMdw), 0);
}

TEST(SheetLayout, RowHeightsInPointsBecomeWholePixels) {
    const std::pair<double, int> heights[] = {{9.75, 13}, {12.95, 17}, {14.25, 19}, {13.5, 18},
                                              {4.5, 6},   {12.75, 17}, {0, 0}};
    for (const auto& [points, pixels] : heights) {
        EXPECT_EQ(rowPixelsFromTwips(static_cast<int>(points * 20 + 0.5)), pixels) << points;
    }
}

TEST(SheetLayout, GradebookColumnsAndRowsAsLines) {
    Sheet s;
    setWidth(s, 0, 1.71);
    setWidth(s, 1, 37);
    setWidth(s, 2, 18.71);
    for (int c = 3; c <= 5; ++c) {
        setWidth(s, c, 9.71);
    }
    setWidth(s, 6, 8.57);
    setWidth(s, 7, 9.14);
    setHeight(s, 0, 9.75);
    setHeight(s, 1, 12.95);
    setHeight(s, 2, 14.25);
    setHeight(s, 3, 4.5);

    const SheetLayout all(s, Area{{0, 0}, {4, 8}}, kMdw);
    EXPECT_EQ(all.columnLines(), (std::vector<int>{0, 17, 281, 417, 490, 563, 636, 701, 770, 834}));
    // Row 5 has no height of its own: the sheet's default.
    EXPECT_EQ(all.rowLines(), (std::vector<int>{0, 13, 30, 49, 55, 72}));
    EXPECT_EQ(all.width(), 835);
    EXPECT_EQ(all.height(), 73);
    EXPECT_FALSE(all.cutRight());
    EXPECT_FALSE(all.cutBottom());

    // The used range starting at B2: lines count from its own corner.
    const SheetLayout used(s, Area{{1, 1}, {3, 3}}, kMdw);
    EXPECT_EQ(used.columnLines(), (std::vector<int>{0, 264, 400, 473}));
    EXPECT_EQ(used.rowLines(), (std::vector<int>{0, 17, 36, 42}));
    EXPECT_EQ(used.columnLine(2), 264);
    EXPECT_EQ(used.rowLine(3), 36);
}

TEST(SheetLayout, HiddenColumnsAndRowsTakeNoPixels) {
    Sheet s;
    s.columnInfo(1).hidden = true;
    s.columnInfo(1).width256 = 5000;
    s.rowInfo(1).hidden = true;
    const SheetLayout l(s, Area{{0, 0}, {2, 2}}, kMdw);
    EXPECT_EQ(l.columnLines(), (std::vector<int>{0, 64, 64, 128}));
    EXPECT_EQ(l.rowLines(), (std::vector<int>{0, 17, 17, 34}));

    // Everything hidden still gives a picture of one pixel.
    s.columnInfo(0).hidden = true;
    s.columnInfo(2).hidden = true;
    const SheetLayout none(s, Area{{1, 0}, {1, 2}}, kMdw);
    EXPECT_EQ(none.width(), 1);
    EXPECT_EQ(none.height(), 1);
}

TEST(SheetLayout, MergedRangesAsBoxes) {
    Sheet s;
    s.merged = {Area{{4, 1}, {6, 2}}, Area{{40, 0}, {41, 1}}};
    const SheetLayout l(s, Area{{4, 1}, {10, 5}}, kMdw);
    ASSERT_EQ(l.merges().size(), 1u); // the one below the area is left out
    const SheetLayout::Box b = l.box(l.merges()[0]);
    EXPECT_EQ(b.left, 0);
    EXPECT_EQ(b.right, 128);
    EXPECT_EQ(b.top, 0);
    EXPECT_EQ(b.bottom, 51);

    // A merge reaching out of the area is clipped to it.
    s.merged = {Area{{0, 0}, {5, 2}}};
    const SheetLayout clipped(s, Area{{4, 1}, {10, 5}}, kMdw);
    ASSERT_EQ(clipped.merges().size(), 1u);
    const SheetLayout::Box c = clipped.box(clipped.merges()[0]);
    EXPECT_EQ(c.left, 0);
    EXPECT_EQ(c.top, 0);
    EXPECT_EQ(c.right, 128);
    EXPECT_EQ(c.bottom, 34);
}

TEST(SheetLayout, AreaOffTheSheetIsRefused) {
    Sheet s;
    s.name = "Grade book";
    EXPECT_THROW(SheetLayout(s, Area{{0, 0}, {0, 256}}, kMdw), std::invalid_argument);
    EXPECT_THROW(SheetLayout(s, Area{{-1, 0}, {3, 3}}, kMdw), std::invalid_argument);
    EXPECT_THROW(SheetLayout(s, Area{{5, 0}, {3, 3}}, kMdw), std::invalid_argument);
    try {
        SheetLayout(s, Area{{0, 0}, {65536, 0}}, kMdw);
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_NE(std::string(e.what()).find("Grade book"), std::string::npos);
    }
}

TEST(SheetLayout, LargeSheetIsCutToTheLimits) {
    Sheet s;
    const RenderLimits small{100, 100 * 50};
    const SheetLayout l(s, Area{{0, 0}, {999, 9}}, kMdw, small);
    EXPECT_TRUE(l.cutRight());
    EXPECT_TRUE(l.cutBottom());
    EXPECT_EQ(l.width(), 100);
    EXPECT_EQ(l.height(), 50);
    EXPECT_EQ(l.lastShownColumn(), 1); // column B starts at 64, C at 128
    EXPECT_EQ(l.lastShownRow(), 2);    // rows below the cut are not laid out
    EXPECT_EQ(l.rowLines().size(), 4u);

    // The full height of a sheet with 32767 rows under the real limits: 32766 px at most, and
    // only the rows down to there are measured.
    const SheetLayout tall(s, Area{{0, 0}, {32766, 1}}, kMdw);
    EXPECT_FALSE(tall.cutRight());
    EXPECT_TRUE(tall.cutBottom());
    EXPECT_EQ(tall.height(), 32766);
    EXPECT_LE(tall.rowLines().size(), 32766u / 17 + 2);

    // Wide and tall: the pixel count bounds the height.
    const SheetLayout wide(s, Area{{0, 0}, {32766, 255}}, kMdw);
    EXPECT_EQ(wide.width(), 256 * 64 + 1);
    EXPECT_LE(static_cast<std::int64_t>(wide.width()) * wide.height(), 64'000'000);
    EXPECT_TRUE(wide.cutBottom());

    // Exactly at the limit is not a cut.
    const SheetLayout exact(s, Area{{0, 0}, {0, 0}}, kMdw, RenderLimits{65, 65 * 18});
    EXPECT_FALSE(exact.cutRight());
    EXPECT_FALSE(exact.cutBottom());
}

} // namespace
