#include "RenderSample.h"
#include "TextSample.h"

#include "workbook/render/PictureMemory.h"
#include "workbook/render/SheetPainter.h"

#include <QFontDatabase>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;
using namespace markwell::render;
using sheet::Area;
using sheet::Value;

namespace {

const Area kSampleArea{{1, 1}, {11, 7}}; // B2:H12

// Colours compare channel by channel within a tolerance: fonts and antialiasing differ between
// machines, fills and lines must not.
::testing::AssertionResult near(QRgb actual, std::uint32_t expected, int tolerance = 8) {
    const int dr = std::abs(qRed(actual) - static_cast<int>((expected >> 16) & 0xFF));
    const int dg = std::abs(qGreen(actual) - static_cast<int>((expected >> 8) & 0xFF));
    const int db = std::abs(qBlue(actual) - static_cast<int>(expected & 0xFF));
    if (dr <= tolerance && dg <= tolerance && db <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    char text[64];
    std::snprintf(text, sizeof text, "pixel #%06X is not near #%06X", actual & 0xFFFFFFu, expected);
    return ::testing::AssertionFailure() << text;
}

// Pixels in a rectangle that differ clearly from the background colour.
int inkIn(const QImage& image, const QRect& r, std::uint32_t background) {
    int count = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            if (!near(image.pixel(x, y), background, 40)) {
                ++count;
            }
        }
    }
    return count;
}

struct Rendered {
    sheet::Workbook workbook;
    std::unique_ptr<SheetLayout> layout;
    QImage image;

    explicit Rendered(sheet::Workbook wb, Area area = kSampleArea, RenderLimits limits = {}) : workbook(std::move(wb)) {
        layout =
            std::make_unique<SheetLayout>(workbook.sheets[0], area, maxDigitWidth(workbook.formats[0].font), limits);
        image = renderSheetPicture(workbook, 0, area, limits);
    }
    // The interior of a cell, inside its grid lines.
    QRect cell(int row, int col) const {
        const int x0 = layout->columnLine(col), y0 = layout->rowLine(row);
        return QRect(x0 + 1, y0 + 1, layout->columnLine(col + 1) - x0 - 1, layout->rowLine(row + 1) - y0 - 1);
    }
};

TEST(SheetPainter, SampleLooksAsOnScreen) {
    const Rendered r(test::renderSampleWorkbook());
    ASSERT_FALSE(r.image.isNull());
    EXPECT_EQ(r.image.width(), r.layout->width());
    EXPECT_EQ(r.image.height(), r.layout->height());
    EXPECT_EQ(r.image.width(), 754); // B 264 + C 136 + D-F 3 x 73 + G 65 + H 69, plus the last line

    // Fills at the centre of empty filled cells: cream (H9), dark (F6).
    EXPECT_TRUE(near(r.image.pixel(r.cell(8, 7).center()), 0xFDF8EC, 0));
    EXPECT_TRUE(near(r.image.pixel(r.cell(5, 5).center()), 0xA75A45, 0));
    // A thin black border between D8 and E8, on the grid line.
    const int borderX = r.layout->columnLine(4);
    EXPECT_TRUE(near(r.image.pixel(borderX, r.cell(7, 3).center().y()), 0x000000, 0));
    // White background where nothing is: the spacer row and E3.
    EXPECT_TRUE(near(r.image.pixel(r.cell(9, 4).center()), 0xFFFFFF, 0));
    EXPECT_EQ(inkIn(r.image, r.cell(2, 4), 0xFFFFFF), 0);
    // No gridlines: the line between C3 and D3 is white.
    const int gridY = r.cell(2, 2).center().y();
    EXPECT_TRUE(near(r.image.pixel(r.layout->columnLine(3), gridY), 0xFFFFFF, 0));

    // Text is drawn: the student's name in B8 and the percentage in D8.
    EXPECT_GT(inkIn(r.image, r.cell(7, 1), 0xFFFFFF), 10);
    EXPECT_GT(inkIn(r.image, r.cell(7, 3), 0xEAEAEA), 10);
    // The long caption in D5 runs on in white over the empty dark E5.
    EXPECT_GT(inkIn(r.image, r.cell(4, 4), 0xA75A45), 10);

    if (const char* keep = std::getenv("MARKWELL_RENDER_SAMPLE")) {
        r.image.save(QString::fromLocal8Bit(keep));
    }
}

TEST(SheetPainter, GridlinesWhenTheSheetShowsThem) {
    sheet::Workbook wb = test::renderSampleWorkbook();
    wb.sheets[0].showGridlines = true;
    const Rendered r(std::move(wb));
    const int gridY = r.cell(2, 2).center().y();
    EXPECT_TRUE(near(r.image.pixel(r.layout->columnLine(3), gridY), 0xD0D0D0, 0));
    // Not inside a merged range: the title B2:C2 is one cell.
    EXPECT_TRUE(near(r.image.pixel(r.layout->columnLine(2), r.cell(1, 1).top() + 2), 0xFFFFFF, 0));
}

TEST(SheetPainter, FillsCoverGridlines) {
    sheet::Workbook wb;
    wb.sheets.resize(1);
    sheet::CellFormat f;
    f.fill = 0x336699;
    wb.sheets[0].cellAt(1, 1).format = wb.addFormat(f);
    const Rendered r(std::move(wb), Area{{0, 0}, {2, 2}});
    const QRect filled = r.cell(1, 1);
    for (const QPoint p :
         {QPoint(filled.left() - 1, filled.center().y()), QPoint(filled.right() + 1, filled.center().y()),
          QPoint(filled.center().x(), filled.top() - 1), QPoint(filled.center().x(), filled.bottom() + 1)}) {
        EXPECT_TRUE(near(r.image.pixel(p), 0x336699, 0));
    }
    // The other lines stay.
    EXPECT_TRUE(near(r.image.pixel(r.layout->columnLine(1), r.cell(0, 0).center().y()), 0xD0D0D0, 0));
}

sheet::Workbook rowOfCells() {
    sheet::Workbook wb;
    wb.sheets.resize(1);
    sheet::Sheet& s = wb.sheets[0];
    s.showGridlines = false;
    s.columnInfo(0).width256 = width256FromCharacters(30, 7);
    return wb;
}

TEST(SheetPainter, GeneralAlignmentNumbersRightTextLeft) {
    sheet::Workbook wb = rowOfCells();
    wb.sheets[0].cellAt(0, 0).value = Value(12345);
    wb.sheets[0].cellAt(1, 0).value = Value("Name");
    wb.sheets[0].cellAt(2, 0).value = Value(true);
    const Rendered r(std::move(wb), Area{{0, 0}, {2, 0}});
    auto half = [&](int row, bool right) {
        QRect c = r.cell(row, 0);
        const int w = c.width() / 3;
        return right ? QRect(c.right() - w, c.top(), w, c.height()) : QRect(c.left(), c.top(), w, c.height());
    };
    EXPECT_GT(inkIn(r.image, half(0, true), 0xFFFFFF), 0);
    EXPECT_EQ(inkIn(r.image, half(0, false), 0xFFFFFF), 0);
    EXPECT_GT(inkIn(r.image, half(1, false), 0xFFFFFF), 0);
    EXPECT_EQ(inkIn(r.image, half(1, true), 0xFFFFFF), 0);
    // Booleans are centred: nothing at either end.
    EXPECT_EQ(inkIn(r.image, half(2, true), 0xFFFFFF), 0);
    EXPECT_EQ(inkIn(r.image, half(2, false), 0xFFFFFF), 0);
}

TEST(SheetPainter, TextRunsOverEmptyNeighboursOnly) {
    auto longText = [](bool blockWithFormula) {
        sheet::Workbook wb;
        wb.sheets.resize(1);
        sheet::Sheet& s = wb.sheets[0];
        s.showGridlines = false;
        s.cellAt(0, 0).value = Value("A caption far too long for one column");
        s.cellAt(0, 3).value = Value(1);
        if (blockWithFormula) {
            // A formula whose result is empty text still stops the text.
            auto node = std::make_shared<formula::Node>();
            node->kind = formula::NodeKind::Text;
            s.cellAt(0, 1).formula = node;
            s.cellAt(0, 1).value = Value("");
        }
        return wb;
    };
    const Rendered open(longText(false), Area{{0, 0}, {0, 3}});
    EXPECT_GT(inkIn(open.image, open.cell(0, 1), 0xFFFFFF), 0);
    const Rendered blocked(longText(true), Area{{0, 0}, {0, 3}});
    EXPECT_EQ(inkIn(blocked.image, blocked.cell(0, 1), 0xFFFFFF), 0);
    EXPECT_EQ(inkIn(blocked.image, blocked.cell(0, 2), 0xFFFFFF), 0);

    // With gridlines shown, the line under the running text is hidden, the one after it stays.
    sheet::Workbook gridded = longText(false);
    gridded.sheets[0].showGridlines = true;
    const Rendered g(std::move(gridded), Area{{0, 0}, {0, 3}});
    const int y = g.cell(0, 0).top() + 1;
    EXPECT_TRUE(near(g.image.pixel(g.layout->columnLine(1), y), 0xFFFFFF, 0));
    EXPECT_TRUE(near(g.image.pixel(g.layout->columnLine(4), y), 0xD0D0D0, 0));
}

TEST(SheetPainter, BordersByStyle) {
    sheet::Workbook wb = rowOfCells();
    sheet::CellFormat f;
    f.bottom = {sheet::BorderStyle::Thick, 0x0000FF};
    f.right = {sheet::BorderStyle::Dashed, 0xFF0000};
    wb.sheets[0].cellAt(1, 1).format = wb.addFormat(f);
    const Rendered r(std::move(wb), Area{{0, 0}, {2, 2}});
    const int y = r.layout->rowLine(2);
    const int x = r.cell(1, 1).center().x();
    // Thick: three pixels across the line.
    EXPECT_TRUE(near(r.image.pixel(x, y - 1), 0x0000FF, 0));
    EXPECT_TRUE(near(r.image.pixel(x, y), 0x0000FF, 0));
    EXPECT_TRUE(near(r.image.pixel(x, y + 1), 0x0000FF, 0));
    EXPECT_TRUE(near(r.image.pixel(x, y - 2), 0xFFFFFF, 0));
    // Dashed: red with gaps along the line.
    const int rx = r.layout->columnLine(2);
    int red = 0, white = 0;
    for (int py = r.layout->rowLine(1) + 1; py < y - 1; ++py) {
        red += near(r.image.pixel(rx, py), 0xFF0000, 0) ? 1 : 0;
        white += near(r.image.pixel(rx, py), 0xFFFFFF, 0) ? 1 : 0;
    }
    EXPECT_GT(red, 0);
    EXPECT_GT(white, 0);
}

TEST(SheetPainter, OversizedPictureIsCutVisibly) {
    sheet::Workbook wb = test::renderSampleWorkbook();
    const RenderLimits small{300, 300 * 120};
    const Rendered r(std::move(wb), kSampleArea, small);
    EXPECT_EQ(r.image.width(), 300);
    EXPECT_EQ(r.image.height(), 120);
    // The red bands along the bottom and the right, with the notice written on them.
    EXPECT_TRUE(near(r.image.pixel(2, r.image.height() - 2), 0xC0282D, 0));
    EXPECT_TRUE(near(r.image.pixel(r.image.width() - 2, 2), 0xC0282D, 0));
    EXPECT_GT(inkIn(r.image, QRect(0, r.image.height() - 22, 280, 22), 0xC0282D), 50);
    EXPECT_GT(inkIn(r.image, QRect(r.image.width() - 22, 0, 22, 100), 0xC0282D), 50);

    // A sheet as tall as the largest class under the real limits: the height stops at the bound.
    sheet::Workbook tall;
    tall.sheets.resize(1);
    tall.sheets[0].showGridlines = false;
    for (int row = 0; row < 32767; row += 100) {
        tall.sheets[0].cellAt(row, 0).value = Value(row);
    }
    const QImage big = renderSheetPicture(tall, 0, Area{{0, 0}, {32766, 1}});
    EXPECT_EQ(big.width(), 129);
    EXPECT_EQ(big.height(), 32766);
    EXPECT_TRUE(near(big.pixel(2, big.height() - 2), 0xC0282D, 0));

    // A picture within the bound has no band.
    const Rendered whole(test::renderSampleWorkbook());
    EXPECT_FALSE(near(whole.image.pixel(2, whole.image.height() - 2), 0xC0282D, 60));
}

TEST(SheetPainter, BadRequestsAreRefusedWithAMessage) {
    const sheet::Workbook wb = test::renderSampleWorkbook();
    EXPECT_THROW(renderSheetPicture(wb, 1, kSampleArea), std::invalid_argument);
    EXPECT_THROW(renderSheetPicture(wb, -1, kSampleArea), std::invalid_argument);
    EXPECT_THROW(renderSheetPicture(wb, 0, Area{{3, 3}, {1, 1}}), std::invalid_argument);

    // A cell pointing past the format table is drawn with the default format.
    sheet::Workbook broken = rowOfCells();
    broken.sheets[0].cellAt(0, 0).value = Value("x");
    broken.sheets[0].cellAt(0, 0).format = 999;
    EXPECT_FALSE(renderSheetPicture(broken, 0, Area{{0, 0}, {0, 0}}).isNull());
}

TEST(SheetPainter, NumbersFitTheirCellOrShowHashes) {
    const QFontMetricsF metrics(screenFont(sheet::Font{}));
    const NumberFormatter general("General");
    EXPECT_EQ(fitNumber(general, Value(1.0 / 3), metrics, 200).toStdString(), "0.333333333");
    const QString shorter = fitNumber(general, Value(1.0 / 3), metrics, 30);
    EXPECT_TRUE(shorter.startsWith(u"0.3"_s)) << shorter.toStdString();
    EXPECT_LE(metrics.horizontalAdvance(shorter), 30);
    EXPECT_EQ(fitNumber(general, Value(123456789.0), metrics, 40).toStdString(), "1E+08");
    EXPECT_EQ(fitNumber(general, Value(123456789.0), metrics, 10).toStdString(), "#");

    // Fixed formats never drop digits: #### as wide as the cell allows.
    const NumberFormatter fixed("#,##0.00");
    EXPECT_EQ(fitNumber(fixed, Value(1234.5), metrics, 200).toStdString(), "1,234.50");
    const QString hashes = fitNumber(fixed, Value(1234567.891), metrics, 40);
    EXPECT_GE(hashes.size(), 3);
    EXPECT_EQ(hashes.count(u'#'), hashes.size());
    // A negative date cannot be shown at all: hashes across the whole width.
    const QString date = fitNumber(NumberFormatter("yyyy-mm-dd"), Value(-3), metrics, 200);
    EXPECT_EQ(date.size(), static_cast<qsizetype>(200 / metrics.horizontalAdvance(u'#')));
    EXPECT_EQ(date.count(u'#'), date.size());
}

TEST(SheetPainter, ARecurringValueLooksAsWhenItIsDrawnAlone) {
    // The same values in wide and narrow columns, each cell compared with a sheet that holds only it.
    const std::vector<Value> values{Value(1.0 / 3), Value(123456789.0), Value(1.0 / 3), Value("Ab"), Value(7)};
    const int widths[] = {30, 4, 30, 4};
    auto sheetWith = [&](auto&& keep) {
        sheet::Workbook wb = rowOfCells();
        for (int col = 0; col < 4; ++col) {
            wb.sheets[0].columnInfo(col).width256 = width256FromCharacters(widths[col], 7);
            for (int row = 0; row < static_cast<int>(values.size()); ++row) {
                if (keep(row, col)) {
                    wb.sheets[0].cellAt(row, col).value = values[static_cast<std::size_t>(row)];
                }
            }
        }
        return Rendered(std::move(wb), Area{{0, 0}, {static_cast<int>(values.size()) - 1, 3}});
    };
    const Rendered all = sheetWith([](int, int) { return true; });
    for (int row = 0; row < static_cast<int>(values.size()); ++row) {
        for (int col = 0; col < 4; ++col) {
            const Rendered alone = sheetWith([&](int r, int c) { return r == row && c == col; });
            ASSERT_EQ(alone.image.size(), all.image.size());
            EXPECT_EQ(all.image.copy(all.cell(row, col)), alone.image.copy(alone.cell(row, col)))
                << "row " << row << " column " << col;
        }
    }
}

TEST(SheetPainter, FontsFallBackToInstalledFamilies) {
    const QString gothic = resolveFontFamily("Century Gothic");
    EXPECT_TRUE(gothic == u"Century Gothic"_s || gothic == u"URW Gothic"_s) << gothic.toStdString();
    const QString arial = resolveFontFamily("Arial");
    EXPECT_TRUE(arial == u"Arial"_s || arial == u"Liberation Sans"_s) << arial.toStdString();
    EXPECT_TRUE(QFontDatabase::hasFamily(resolveFontFamily("No Such Font 123")));
    EXPECT_TRUE(QFontDatabase::hasFamily(resolveFontFamily("")));
    EXPECT_EQ(maxDigitWidth(sheet::Font{}), 7); // 10-point Arial

    sheet::Font f;
    f.name = "Century Gothic";
    f.heightTwips = 180;
    f.bold = true;
    const QFont q = screenFont(f);
    EXPECT_DOUBLE_EQ(q.pointSizeF(), 9.0);
    EXPECT_TRUE(q.bold());
}

} // namespace

// Wrapped lines stack at the font's line height, as spreadsheet programs stack them: a two-line
// school name fits the header's three rows whole, and of a three-line one the middle line shows
// whole, centred, with the others cut at the block's edges.
TEST(SheetPainter, WrappedLinesStackAtTheFontsLineHeight) {
    const sheet::Workbook wb = test::textSampleWorkbook();
    const QImage image = renderSheetPicture(wb, 0, Area{{0, 0}, {14, 3}});
    sheet::Font big = wb.formats.front().font;
    big.heightTwips = 440;
    const double pitch = lineMetrics(screenFont(big)).height();
    EXPECT_NEAR(pitch, 30, 1) << "22-point Century Gothic (or its stand-in) at 96 dpi";

    const auto two = test::boxOfColour(image, test::kTextCases[0].fill);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->height(), 57); // 19 + 18 + 19 pixels and the line below
    const test::Ink ink2 = test::inkInBox(image, *two);
    ASSERT_EQ(ink2.bands.size(), 2u);
    // Two lines of 30 pixels overflow the 55 inside the block's lines a little, as they do in
    // spreadsheet programs: the capitals of the first may lose a pixel or two at the top, the
    // descenders of the second stay.
    EXPECT_LT(ink2.bands[1].second, two->height() - 2) << "the second line is cut at the bottom";
    EXPECT_GE(ink2.bands[1].first - ink2.bands[0].first, pitch - 3);
    EXPECT_LE(ink2.bands[1].first - ink2.bands[0].first, pitch);

    const auto three = test::boxOfColour(image, test::kTextCases[1].fill);
    ASSERT_TRUE(three);
    const test::Ink ink3 = test::inkInBox(image, *three);
    ASSERT_EQ(ink3.bands.size(), 3u);
    EXPECT_LE(ink3.bands[0].first, 1); // cut by the block's top and bottom lines
    EXPECT_GE(ink3.bands[2].second, three->height() - 2);
    // The middle line is whole and as high up as the block's centre puts it.
    const int middleTop = ink3.bands[1].first, middleBottom = ink3.bands[1].second;
    EXPECT_GT(middleTop, 2);
    EXPECT_LT(middleBottom, three->height() - 3);
    EXPECT_NEAR((middleTop + middleBottom) / 2.0, three->height() / 2.0, 4);
}

// In the General alignment a text starts where its reading direction starts: Hebrew and Arabic
// names at the right of the cell, English ones at the left.
TEST(SheetPainter, GeneralAlignmentFollowsTheReadingDirection) {
    const sheet::Workbook wb = test::textSampleWorkbook();
    const QImage image = renderSheetPicture(wb, 0, Area{{0, 0}, {14, 3}});
    for (const test::TextCase& c : test::kTextCases) {
        if (c.lines > 0) {
            continue;
        }
        SCOPED_TRACE(c.what);
        const auto box = test::boxOfColour(image, c.fill);
        ASSERT_TRUE(box);
        const test::Ink ink = test::inkInBox(image, *box);
        ASSERT_GE(ink.leftGap, 0);
        const int nearGap = c.rightEdge ? ink.rightGap : ink.leftGap;
        const int farGap = c.rightEdge ? ink.leftGap : ink.rightGap;
        EXPECT_LE(nearGap, 5);
        EXPECT_GT(farGap, box->width() / 2);
    }
}

// Pictures large enough to get memory of their own behave as any picture: rows laid out as QImage
// lays them out, painting and copying work, a change to a copy leaves the original alone, and the
// memory goes back when the last copy goes (the leak checker of the test build watches that).
TEST(NewPicture, BehavesAsAnOrdinaryPictureAtEverySize) {
    struct Case {
        int width, height;
        QImage::Format format;
    };
    for (const Case c : {Case{3, 2, QImage::Format_RGB32}, Case{1001, 700, QImage::Format_RGB32},
                         Case{2479, 972, QImage::Format_ARGB32}, Case{1237, 900, QImage::Format_RGB888},
                         Case{4099, 300, QImage::Format_Grayscale8}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        QImage picture = newPicture(c.width, c.height, c.format);
        const QImage reference(c.width, c.height, c.format);
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.format(), c.format);
        EXPECT_EQ(picture.bytesPerLine(), reference.bytesPerLine());
        picture.fill(Qt::white);
        {
            QPainter painter(&picture);
            painter.fillRect(0, c.height - 1, c.width, 1, Qt::black);
        }
        QImage copy = picture;
        copy.setPixelColor(0, 0, Qt::black);
        EXPECT_EQ(picture.pixelColor(0, 0), QColor(Qt::white));
        EXPECT_EQ(picture.pixelColor(c.width - 1, c.height - 1), QColor(Qt::black));
        EXPECT_EQ(copy.pixelColor(0, 0), QColor(Qt::black));
    }
    EXPECT_TRUE(newPicture(0, 10, QImage::Format_RGB32).isNull());
    EXPECT_TRUE(newPicture(10, -1, QImage::Format_RGB32).isNull());
    EXPECT_TRUE(newPicture(10, 10, QImage::Format_Invalid).isNull());
}

// A picture drawn while the font list is still being read (and the reader draws on its own
// thread) waits for the list and comes out as it does without the reader.
TEST(FontListReader, PicturesDrawnMeanwhileAreTheSame) {
    const sheet::Workbook wb = test::renderSampleWorkbook();
    QImage meanwhile;
    {
        const FontListReader reader({"Century Gothic", "Arial"});
        meanwhile = renderSheetPicture(wb, 0, kSampleArea);
    }
    const QImage after = renderSheetPicture(wb, 0, kSampleArea);
    ASSERT_FALSE(after.isNull());
    EXPECT_EQ(meanwhile, after);
}
