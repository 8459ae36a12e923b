// Text in every face of a cell reaches the picture and the PDF: Arabic, Hebrew, an emoji and a
// character no font has, in italic and bold cells, are drawn where they stand and come back from
// poppler's pdftotext as typed; the PDF's rows are as high as stored and its pages break where
// LibreOffice's print of the same .xls breaks them.

#include "TextSample.h"

#include "workbook/render/PdfPrinter.h"
#include "workbook/render/SheetPainter.h"

#include "ExternalReaders.h"
#include "LibreOfficePrint.h"
#include "TempDir.h"

#include <QBuffer>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;

namespace {

struct Face {
    const char* what;
    bool bold, italic;
};
constexpr Face kFaces[] = {{"italic", false, true}, {"bold", true, false}, {"bold italic", true, true}};
// The texts, each with the words extraction must give back; U+FFFFD is in no installed font.
const std::pair<QString, QStringList> kTexts[] = {
    {u"أ. فاطمة الزهراء"_s, {u"فاطمة"_s, u"الزهراء"_s}},
    {u"עברית mixed"_s, {u"עברית"_s, u"mixed"_s}},
    {u"2016 😀 Clifford"_s, {u"😀"_s, u"Clifford"_s}},
    {u"x \U000FFFFD y"_s, {u"\U000FFFFD"_s}},
};
constexpr int kRowTwips = 259; // 12.95 points

// One cell per face and text, each with a fill of its own, in rows of 12.95 points.
sheet::Workbook facesWorkbook() {
    sheet::Workbook wb;
    wb.formats.front().font.name = "Century Gothic";
    wb.sheets.emplace_back();
    sheet::Sheet& s = wb.sheets.front();
    s.name = "Texts";
    s.showGridlines = false;
    s.columnInfo(0).width256 = 40 * 256;
    int row = 0;
    for (const Face& face : kFaces) {
        for (const auto& [text, words] : kTexts) {
            sheet::CellFormat f = wb.formats.front();
            f.font.bold = face.bold;
            f.font.italic = face.italic;
            f.fill = 0xF0F000u | static_cast<std::uint32_t>(row * 8);
            wb.formats.push_back(f);
            sheet::Cell& c = s.cellAt(row, 0);
            c.value = sheet::Value(text.toStdString());
            c.format = static_cast<std::uint32_t>(wb.formats.size() - 1);
            s.rowInfo(row).heightTwips = kRowTwips;
            ++row;
        }
    }
    return wb;
}

QString withoutDirectionMarks(QString text) {
    static const QRegularExpression kMarks(u"[\u200E\u200F\u202A-\u202E]"_s);
    return text.remove(kMarks);
}

} // namespace

TEST(TextLayer, EveryCharacterIsDrawnAndExtractedAsTyped) {
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (pdftotext.isEmpty() || !QFontDatabase::hasFamily(u"DejaVu Sans"_s)) {
        GTEST_SKIP() << "poppler-utils (pdftotext) or the DejaVu fonts are not installed";
    }
    const sheet::Workbook wb = facesWorkbook();
    const QImage picture = render::renderSheetPicture(wb, 0, sheet::Area{{0, 0}, {11, 0}});
    test::TempDir dir;
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    render::writePdf(wb, pdf);
    dir.write(u"texts.pdf"_s, pdf.data());
    const test::ToolRun bbox = test::runTool(pdftotext, {u"-bbox"_s, dir.file(u"texts.pdf"_s), u"-"_s});
    const test::ToolRun plain = test::runTool(pdftotext, {dir.file(u"texts.pdf"_s), u"-"_s});
    ASSERT_TRUE(bbox.ok && plain.ok) << (bbox.err + plain.err).toStdString();
    const QString extracted = withoutDirectionMarks(plain.out);

    // A face that has the letters draws a text at least this wide; the box of a character no
    // font has is a few pixels.
    QFont reference(u"DejaVu Sans"_s);
    reference.setPointSize(10);
    const QFontMetricsF metrics(reference, &render::measuringDevice());
    int row = 0;
    for (const Face& face : kFaces) {
        for (const auto& [text, words] : kTexts) {
            SCOPED_TRACE(std::string(face.what) + ": " + text.toStdString());
            const auto box = test::boxOfColour(picture, wb.formats[wb.sheets[0].cell(row, 0)->format].fill.value());
            ASSERT_TRUE(box);
            const test::Ink ink = test::inkInBox(picture, *box);
            ASSERT_FALSE(ink.bands.empty());
            const int inked = box->width() - ink.leftGap - ink.rightGap;
            EXPECT_GE(inked, words.front() == u"\U000FFFFD"_s ? 12 : 0.7 * metrics.horizontalAdvance(text));
            ++row;
        }
    }
    // Every word comes back once from each face's cell.
    for (const auto& [text, words] : kTexts) {
        for (const QString& word : words) {
            EXPECT_EQ(extracted.count(word), std::size(kFaces)) << word.toStdString();
        }
    }
    // Each row's text stands 12.95 points below the one above.
    static const QRegularExpression kWord(uR"re(<word xMin="[\d.]+" yMin="([\d.]+)")re"_s);
    std::vector<double> tops;
    for (const QString& line : bbox.out.split(u'\n')) {
        if (const auto m = kWord.match(line); m.hasMatch() && line.contains(u"Clifford</word>"_s)) {
            tops.push_back(m.captured(1).toDouble());
        }
    }
    ASSERT_EQ(tops.size(), 3u);
    EXPECT_NEAR(tops[1] - tops[0], 4 * kRowTwips / 20.0, 0.1);
    EXPECT_NEAR(tops[2] - tops[1], 4 * kRowTwips / 20.0, 0.1);
}

// 150 rows of 12.95 points: LibreOffice, drawing Century Gothic with the same stand-in, breaks
// the pages after the same rows.
TEST(TextLayer, PagesBreakWhereLibreOfficeBreaksThem) {
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    const QString pdftotext = QStandardPaths::findExecutable(u"pdftotext"_s);
    if (soffice.isEmpty() || pdftotext.isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) or poppler-utils (pdftotext) is not installed";
    }
    sheet::Workbook wb;
    wb.formats.front().font.name = "Century Gothic";
    wb.sheets.emplace_back();
    sheet::Sheet& s = wb.sheets.front();
    s.name = "Rows";
    for (int r = 0; r < 150; ++r) {
        s.cellAt(r, 0).value = sheet::Value("Row " + std::to_string(r + 1));
        s.rowInfo(r).heightTwips = kRowTwips;
    }
    test::TempDir dir;
    std::string problem;
    const QString theirPdf = test::printWithLibreOffice(soffice, dir, wb, u"rows"_s, problem);
    ASSERT_FALSE(theirPdf.isEmpty()) << problem;
    QBuffer ours;
    ours.open(QIODevice::WriteOnly);
    const int pages = render::writePdf(wb, ours);
    dir.write(u"ours.pdf"_s, ours.data());

    // The rows each page starts with.
    auto firstRows = [&](const QString& file) {
        const test::ToolRun text = test::runTool(pdftotext, {file, u"-"_s});
        std::vector<QString> firsts;
        for (const QString& page : text.out.split(u'\f')) {
            static const QRegularExpression kRow(u"Row \\d+"_s);
            if (const auto m = kRow.match(page); m.hasMatch()) {
                firsts.push_back(m.captured());
            }
        }
        return firsts;
    };
    const std::vector<QString> theirs = firstRows(theirPdf);
    EXPECT_EQ(firstRows(dir.file(u"ours.pdf"_s)), theirs);
    EXPECT_EQ(pages, static_cast<int>(theirs.size()));
}
