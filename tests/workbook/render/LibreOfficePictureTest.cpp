// Our picture of wrapped and right-to-left texts against LibreOffice's rendering of the same
// workbook: LibreOffice prints it to PDF, poppler turns the page into a 96-dpi picture, and in
// both pictures each cell is found by its fill colour. Column widths differ a little between the
// two programs (LibreOffice counts them in its own measure of the font's digit), so the texts
// are compared where that does not matter: the rows their lines take within the cell, and the
// side of the cell they start at.

#include "TextSample.h"

#include "workbook/render/SheetPainter.h"

#include "ExternalReaders.h"
#include "LibreOfficePrint.h"
#include "TempDir.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;

TEST(LibreOfficePicture, WrappedAndRightToLeftTextsSitWhereLibreOfficePutsThem) {
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    const QString pdftoppm = QStandardPaths::findExecutable(u"pdftoppm"_s);
    if (soffice.isEmpty() || pdftoppm.isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) or poppler-utils (pdftoppm) is not installed";
    }
    test::TempDir dir;
    const sheet::Workbook wb = test::textSampleWorkbook();
    std::string problem;
    const QString pdf = test::printWithLibreOffice(soffice, dir, wb, u"texts"_s, problem);
    ASSERT_FALSE(pdf.isEmpty()) << problem;
    const QString fonts = dir.file(u"fonts.conf"_s);
    const test::ToolRun png = test::runTool(
        pdftoppm,
        {u"-r"_s, u"96"_s, u"-png"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, u"-singlefile"_s, pdf, dir.file(u"theirs"_s)},
        240000, {u"FONTCONFIG_FILE="_s + fonts});
    ASSERT_TRUE(png.ok) << png.err.toStdString();
    const QImage theirs(dir.file(u"theirs.png"_s));
    ASSERT_FALSE(theirs.isNull());
    const QImage ours = render::renderSheetPicture(wb, 0, sheet::Area{{0, 0}, {14, 3}});

    for (const test::TextCase& c : test::kTextCases) {
        SCOPED_TRACE(c.what);
        const auto boxOurs = test::boxOfColour(ours, c.fill);
        const auto boxTheirs = test::boxOfColour(theirs, c.fill);
        ASSERT_TRUE(boxOurs && boxTheirs);
        EXPECT_NEAR(boxOurs->height(), boxTheirs->height(), 2);
        const test::Ink a = test::inkInBox(ours, *boxOurs);
        const test::Ink b = test::inkInBox(theirs, *boxTheirs);
        ASSERT_EQ(a.bands.size(), b.bands.size()) << "lines of ink";
        if (c.lines > 0) {
            // Every line takes the same rows of the block, within the rounding of two renderers;
            // lines cut at the block's edges are compared where they are whole.
            for (std::size_t i = 0; i < a.bands.size(); ++i) {
                SCOPED_TRACE("line " + std::to_string(i + 1));
                if (i > 0 || c.lines == 2) {
                    EXPECT_NEAR(a.bands[i].first, b.bands[i].first, 3);
                }
                if (i + 1 < a.bands.size() || c.lines == 2) {
                    EXPECT_NEAR(a.bands[i].second, b.bands[i].second, 3);
                }
            }
        } else {
            // LibreOffice keeps 0.028 inch (about 3 pixels) between a cell's text and its bottom edge
            // where a spreadsheet program's screen keeps 1 or 2.
            EXPECT_NEAR(a.bands[0].second, b.bands[0].second, 4) << "the baseline";
            const int oursNear = c.rightEdge ? a.rightGap : a.leftGap;
            const int theirsNear = c.rightEdge ? b.rightGap : b.leftGap;
            EXPECT_NEAR(oursNear, theirsNear, 3) << (c.rightEdge ? "right" : "left") << " edge";
        }
    }
}
