#include "SampleWorkbook.h"

#include "workbook/xls/WorkbookDump.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;

// Our files must open in programs we did not write: xlrd, LibreOffice and Gnumeric read the
// sample workbook here. A missing program skips its test with a message.
namespace {

using markwell::test::pythonWithXlrd;
using markwell::test::runTool;
using markwell::test::ToolRun;

// A minimal CSV reader: quoted fields with doubled quotes, comma separated, LF line ends.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
        any = true;
    }
    if (any && !field.empty()) {
        rows.back().push_back(field);
    }
    return rows;
}

std::string at(const std::vector<std::vector<std::string>>& rows, int row, int col) {
    if (row < 0 || col < 0 || static_cast<std::size_t>(row) >= rows.size() ||
        static_cast<std::size_t>(col) >= rows[static_cast<std::size_t>(row)].size()) {
        return {};
    }
    return rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(col)];
}

QString writeSample(const test::TempDir& dir) {
    const xls::Bytes bytes = xls::writeXls(test::sampleWorkbook());
    dir.write(u"sample.xls"_s,
              QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    return dir.file(u"sample.xls"_s);
}

} // namespace

// xlrd sees exactly the cells, merges, comments and names we wrote.
TEST(ExternalReaders, XlrdReadsEverythingWeWrite) {
    const QString python = pythonWithXlrd();
    if (python.isEmpty()) {
        GTEST_SKIP() << "python3 with xlrd is not installed";
    }
    test::TempDir dir;
    const QString file = writeSample(dir);
    const ToolRun r = runTool(python, {QStringLiteral(MARKWELL_XLS_TEST_DIR) + u"/xlrd_dump.py"_s, file});
    ASSERT_TRUE(r.ok) << r.err.toStdString();
    std::vector<std::string> theirs;
    for (const QString& line : r.out.split(u'\n', Qt::SkipEmptyParts)) {
        theirs.push_back(line.toStdString());
    }
    const std::vector<std::string> ours = xls::dumpWorkbook(test::sampleWorkbook());
    EXPECT_EQ(theirs, ours);
}

// LibreOffice opens the file, recalculates it and shows the same texts and numbers; the .xls it
// saves from it keeps our fonts, fills, merges, names, comments and page set-up.
TEST(ExternalReaders, LibreOfficeOpensOurWorkbook) {
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (soffice.isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    test::TempDir dir;
    const QString file = writeSample(dir);
    const QString profile = u"-env:UserInstallation=file://"_s + dir.file(u"profile"_s);
    ToolRun csv = runTool(soffice, {profile, u"--headless"_s, u"--convert-to"_s,
                                    u"csv:Text - txt - csv (StarCalc):44,34,76"_s, u"--outdir"_s, dir.path(), file});
    ASSERT_TRUE(csv.ok) << csv.err.toStdString();
    const auto rows = parseCsv(dir.read(u"sample.csv"_s).toStdString());
    EXPECT_EQ(at(rows, 4, 1), "Your School Name");
    EXPECT_EQ(at(rows, 5, 3), "Assignment or Test Name");
    EXPECT_EQ(at(rows, 6, 6), "20");
    EXPECT_EQ(at(rows, 6, 9), "123456789"); // shown with the format "0"
    EXPECT_EQ(at(rows, 1, 5), "60%");       // "0%"
    EXPECT_EQ(at(rows, 2, 16), "A+");
    EXPECT_EQ(at(rows, 11, 6), "Quiz 1"); // =IF(OR(G6,G6>""),G6,"") recalculated
    EXPECT_EQ(at(rows, 12, 6), "15");
    EXPECT_EQ(at(rows, 12, 5), "#DIV/0!");
    EXPECT_EQ(at(rows, 16, 11), "Grüße – αβγ 😀");
    EXPECT_EQ(at(rows, 16, 14), "none"); // IFERROR, stored as a newer function, recalculated

    // LibreOffice's own .xls of our file, read back by us: the look and structure survived.
    ToolRun xls = runTool(
        soffice, {profile, u"--headless"_s, u"--convert-to"_s, u"xls"_s, u"--outdir"_s, dir.file(u"lo"_s), file});
    ASSERT_TRUE(xls.ok) << xls.err.toStdString();
    const sheet::Workbook lo = xls::readXlsFile(dir.file(u"lo/sample.xls"_s).toStdString()).workbook;
    const sheet::Workbook ours = test::sampleWorkbook();
    ASSERT_EQ(lo.sheets.size(), 2u);
    const sheet::Sheet& a = ours.sheets[0];
    const sheet::Sheet& b = lo.sheets[0];
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.merged, a.merged);
    EXPECT_FALSE(b.showGridlines);
    ASSERT_EQ(b.comments.size(), 2u);
    EXPECT_EQ(b.comments[0].text, a.comments[0].text);
    EXPECT_EQ(b.comments[1].text, a.comments[1].text);
    EXPECT_TRUE(b.comments[1].visible);
    EXPECT_NE(b.pageSetup.footerText.find("Page &P of &N"), std::string::npos) << b.pageSetup.footerText;
    EXPECT_EQ(b.pageSetup.left, 0.5);
    EXPECT_EQ(b.pageSetup.top, 0.5);
    EXPECT_EQ(lo.sheets[1].pageSetup.portrait, false);
    for (const char* name : {"GradeTable", "Print_Area", "Print_Titles"}) {
        const sheet::DefinedName* n = lo.findName(name, 0);
        ASSERT_NE(n, nullptr) << name;
        const sheet::DefinedName* mine = ours.findName(name, 0);
        const auto strip = [](formula::NodePtr p) {
            while (p && p->kind == formula::NodeKind::Paren) {
                p = p->args[0];
            }
            return p;
        };
        EXPECT_TRUE(formula::sameTree(strip(n->refersTo), mine->refersTo)) << name;
        EXPECT_EQ(n->scopeSheet, mine->scopeSheet) << name;
    }
    auto formatAt = [](const sheet::Workbook& wb, const char* a1) {
        const auto p = sheet::parseA1(a1)->pos;
        return wb.formats[wb.sheets[0].cell(p.row, p.col)->format];
    };
    for (const char* cell : {"D6", "G6", "D13", "B5", "I7", "R2"}) {
        const sheet::CellFormat x = formatAt(ours, cell), y = formatAt(lo, cell);
        EXPECT_EQ(y.font.name, x.font.name) << cell;
        EXPECT_EQ(y.font.heightTwips, x.font.heightTwips) << cell;
        EXPECT_EQ(y.font.bold, x.font.bold) << cell;
        EXPECT_EQ(y.font.colour, x.font.colour) << cell;
        EXPECT_EQ(y.fill, x.fill) << cell;
        if (std::string(cell) != "I7") { // LibreOffice rewrites custom codes in its own spelling
            EXPECT_EQ(y.numberFormat, x.numberFormat) << cell;
        }
        EXPECT_EQ(y.left, x.left) << cell;
        EXPECT_EQ(y.bottom, x.bottom) << cell;
        EXPECT_EQ(y.wrap, x.wrap) << cell;
    }
    EXPECT_EQ(b.rowInfoAt(0)->heightTwips, 195);
    EXPECT_EQ(b.rowInfoAt(14)->heightTwips, 90);
    EXPECT_TRUE(b.columnInfoAt(7)->hidden);
}

// Gnumeric converts the file without complaint; its CSV covers the used range of the sheet.
TEST(ExternalReaders, GnumericOpensOurWorkbook) {
    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (ssconvert.isEmpty()) {
        GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    }
    test::TempDir dir;
    const QString file = writeSample(dir);
    const ToolRun r = runTool(ssconvert, {file, dir.file(u"out.csv"_s)});
    ASSERT_TRUE(r.ok) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains(u"CRITICAL"_s)) << r.err.toStdString();
    const auto rows = parseCsv(dir.read(u"out.csv"_s).toStdString());
    // The used range starts at B2: the first row and column of the CSV.
    auto cell = [&](int row, int col) { return at(rows, row - 1, col - 1); };
    EXPECT_EQ(cell(4, 1), "Your School Name");
    EXPECT_EQ(cell(1, 5), "0.6");
    EXPECT_EQ(cell(5, 6), "Quiz 1");
    EXPECT_EQ(cell(12, 3), "0.75"); // cached results as we wrote them
    EXPECT_EQ(cell(12, 4), "C+");
    EXPECT_EQ(cell(16, 11), "Grüße – αβγ 😀");
}
