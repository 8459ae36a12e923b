#include "workbook/xlsx/XlsxWriter.h"

#include "workbook/formula/Recalc.h"

#include "../xls/SampleWorkbook.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QFile>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;

namespace {

std::filesystem::path pathOf(const QString& file) {
    return std::filesystem::path(file.toStdU16String());
}

// The message of the XlsxError `write` throws, or "(none)".
std::string failureOf(const std::function<void()>& write) {
    try {
        write();
    } catch (const xlsx::XlsxError& e) {
        return e.what();
    }
    return "(none)";
}

} // namespace

// openpyxl reads back every cell, formula, cached result and format of the sample workbook, its
// merges, widths, heights, comments, names, print ranges, page set-up, gridlines and active cell.
TEST(XlsxWriter, OpenpyxlReadsEverythingWeWrite) {
    test::TempDir dir;
    const QString file = dir.file(u"sample.xlsx"_s);
    const sheet::Workbook book = test::sampleWorkbook();
    xlsx::writeXlsx(book, pathOf(file), pathOf(dir.path()));
    ASSERT_TRUE(dir.read(u"sample.xlsx"_s).startsWith("PK\x03\x04"));

    std::string problem;
    const QJsonObject dump = test::openpyxlDump(file, problem);
    if (test::pythonWith(u"openpyxl"_s).isEmpty()) {
        GTEST_SKIP() << "python3-openpyxl is not installed";
    }
    ASSERT_TRUE(problem.empty()) << problem;
    EXPECT_GT(test::expectOpenpyxlReads(book, dump), 60);
}

// The workbook's own font, which unstyled cells show and other programs count column widths in,
// is the model's default format's, as in the .xls: openpyxl finds it in the "Normal" style.
TEST(XlsxWriter, DefaultFontIsTheModelsDefault) {
    const QString python = test::pythonWith(u"openpyxl"_s);
    if (python.isEmpty()) {
        GTEST_SKIP() << "python3-openpyxl is not installed";
    }
    test::TempDir dir;
    for (const auto& [name, twips, shown] :
         {std::tuple{"Century Gothic", 200, "Century Gothic 10.0"}, std::tuple{"Verdana", 230, "Verdana 11.5"}}) {
        sheet::Workbook book = test::sampleWorkbook();
        book.formats.front().font.name = name;
        book.formats.front().font.heightTwips = twips;
        const QString file = dir.file(u"font.xlsx"_s);
        xlsx::writeXlsx(book, pathOf(file), pathOf(dir.path()));
        const test::ToolRun r = test::runTool(
            python, {u"-c"_s,
                     u"import sys, openpyxl\nb = openpyxl.load_workbook(sys.argv[1])\n"
                     u"f = [s for s in b._named_styles if s.name == 'Normal'][0].font\nprint(f.name, float(f.sz))"_s,
                     file});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        EXPECT_EQ(r.out.trimmed().toStdString(), shown);
    }
}

// LibreOffice recalculates the .xlsx (with stale results stored, so it must compute them) and
// gets what our engine computed, booleans and errors included.
TEST(XlsxWriter, LibreOfficeRecalculatesWhatWeStore) {
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    test::TempDir dir;
    sheet::Workbook book = test::sampleWorkbook();
    // What this test compares is computed by our engine first; it knows no REPT, NA or IFERROR.
    for (const char* a1 : {"G17", "H17", "O17"}) {
        const sheet::CellPos at = sheet::parseA1(a1)->pos;
        book.sheets[0].clearCell(at.row, at.col);
    }
    // .xlsx has no empty text constant: libxlsxwriter writes it as a blank cell, which COUNTA
    // does not count.
    book.sheets[0].cellAt(5, 7).value = sheet::Value();
    formula::recalculate(book);
    xlsx::writeXlsx(test::withStaleResults(book), pathOf(dir.file(u"stale.xlsx"_s)));
    const test::LibreOfficeResults lo = test::libreOfficeValues({dir.file(u"stale.xlsx"_s)}, dir.path());
    ASSERT_TRUE(lo.problem.empty()) << lo.problem;
    ASSERT_EQ(lo.books.size(), 1u);
    EXPECT_GT(test::expectSameResults(book, lo.books[0], "LibreOffice"), 10);
}

TEST(XlsxWriter, RefusesWhatTheFormatCannotHoldAndWritesNothing) {
    test::TempDir dir;
    const QString file = dir.file(u"bad.xlsx"_s);

    sheet::Workbook badName = test::sampleWorkbook();
    badName.sheets[1].name = "Notes/2026";
    EXPECT_NE(failureOf([&] { xlsx::writeXlsx(badName, pathOf(file)); }).find("Notes/2026"), std::string::npos);

    sheet::Workbook longText = test::sampleWorkbook();
    longText.sheets[0].cellAt(19, 2).value = sheet::Value(std::string(32768, 'a'));
    EXPECT_NE(failureOf([&] { xlsx::writeXlsx(longText, pathOf(file)); }).find("'Grade book'!C20"), std::string::npos);

    EXPECT_NE(failureOf([&] { xlsx::writeXlsx(sheet::Workbook{}, pathOf(file)); }), "(none)");
    EXPECT_FALSE(QFile::exists(file));

    // A folder that is not there: the write itself fails, and says so.
    const std::string missing =
        failureOf([&] { xlsx::writeXlsx(test::sampleWorkbook(), pathOf(dir.file(u"no/such/folder/x.xlsx"_s))); });
    EXPECT_NE(missing.find("cannot be saved"), std::string::npos) << missing;
}

// The width libxlsxwriter is given for a stored width comes back to the same screen pixels at
// 7-pixel digits (the cell padding is 5 pixels).
TEST(XlsxWriter, ColumnWidthsInCharactersOfTheWriter) {
    const std::pair<int, double> widths[] = {{9654, 37.0}, {4973, 131.0 / 7}, {2669, 68.0 / 7},
                                             {438, 1.0},   {300, 8.0 / 12},   {0, 0.0}};
    for (const auto& [width256, characters] : widths) {
        EXPECT_DOUBLE_EQ(xlsx::columnWidthCharacters(width256), characters) << width256;
    }
}
