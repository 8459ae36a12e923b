#include "RenderSample.h"

#include "workbook/formula/Parser.h"
#include "workbook/render/PdfPrinter.h"
#include "workbook/render/SheetPainter.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;
using namespace markwell::render;

namespace {

QString pdfinfo(const QByteArray& pdf) {
    QTemporaryDir dir;
    QFile f(dir.filePath(u"t.pdf"_s));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(pdf);
    f.close();
    QProcess p;
    p.start(u"pdfinfo"_s, {u"-l"_s, u"9"_s, f.fileName()});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

// Painting onto a caller's painter draws what is printed: no white ground, no gridlines, no cut
// bands, only the layers asked for.
TEST(PdfPrinter, PaintingOnAPainterDrawsOnlyTheCellsAndTheLayersAskedFor) {
    sheet::Workbook wb = test::renderSampleWorkbook();
    wb.sheets[0].showGridlines = true;
    const sheet::Area area{{1, 1}, {11, 7}};
    const SheetLayout layout(wb.sheets[0], area, maxDigitWidth(wb.formats[0].font));
    const SheetPainter painter(wb, 0);
    auto draw = [&](int layers) {
        QImage image(layout.width(), layout.height(), QImage::Format_RGB32);
        image.fill(QColor(0x12, 0x34, 0x56));
        QPainter p(&image);
        painter.paintOn(p, layout, layers);
        p.end();
        return image;
    };
    const QImage borders = draw(kBorderLayer);
    const QImage all = draw(kAllLayers);
    int untouched = 0, inked = 0;
    for (int y = 0; y < layout.height(); ++y) {
        for (int x = 0; x < layout.width(); ++x) {
            untouched += all.pixel(x, y) == qRgb(0x12, 0x34, 0x56) ? 1 : 0;
            inked += borders.pixel(x, y) != qRgb(0x12, 0x34, 0x56) ? 1 : 0;
        }
    }
    EXPECT_GT(untouched, layout.width() * layout.height() / 10); // cells without fill keep the ground
    EXPECT_GT(inked, 0);
    EXPECT_LT(inked, layout.width() * layout.height() / 4); // lines only

    QPainter inactive;
    EXPECT_THROW(painter.paintOn(inactive, layout), std::runtime_error);
}

// The PDF has the pages the layout gives, the paper of the page set-up, and one page even for an
// empty sheet; a device that cannot be written is refused.
TEST(PdfPrinter, PagesAndPaperAsTheLayoutSays) {
    sheet::Workbook wb = test::renderSampleWorkbook();
    wb.sheets[0].pageSetup.footerText = "Page &P of &N";
    formula::ParseOptions options;
    options.workbook = &wb;
    // Two print ranges: two pages.
    options.allowUnion = true;
    wb.names.push_back({"Print_Area", 0, formula::parseFormula("=$B$2:$C$3,$E$5:$F$6", options), true});
    wb.sheets.emplace_back();
    wb.sheets[1].name = "Empty";
    wb.sheets[1].pageSetup.paperSize = 9;
    wb.sheets[1].pageSetup.portrait = false;

    QBuffer out;
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    EXPECT_EQ(writePdf(wb, out), 3);
    EXPECT_TRUE(out.data().startsWith("%PDF-"));
    if (QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty()) {
        GTEST_SKIP() << "poppler-utils (pdfinfo) is not installed";
    }
    const QString info = pdfinfo(out.data());
    EXPECT_TRUE(info.contains(QRegularExpression(u"Pages:\\s+3\\n"_s))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(u"Title:\\s+Grade book\\n"_s))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression(u"Page\\s+2 size:\\s+612 x 792 pts \\(letter\\)"_s)))
        << info.toStdString();
    // The empty sheet's page: A4, turned.
    EXPECT_TRUE(info.contains(QRegularExpression(u"Page\\s+3 size:\\s+842 x 595 pts \\(A4\\)"_s)))
        << info.toStdString();

    QBuffer closed;
    EXPECT_THROW(writePdf(wb, closed), std::runtime_error);
    QBuffer any;
    any.open(QIODevice::WriteOnly);
    EXPECT_THROW(writePdf(sheet::Workbook{}, any), std::invalid_argument);
}
