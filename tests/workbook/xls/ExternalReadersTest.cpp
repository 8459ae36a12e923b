#include "SampleWorkbook.h"

#include "workbook/xls/WorkbookDump.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QFileInfo>
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

namespace {

// A school name of 4200 emoji and two more texts whose characters outside the Basic Multilingual
// Plane fall across record boundaries at odd and even places. With `withResult` a formula's short
// text result with such a character follows (xlrd counts a STRING record's characters by code
// points where the record counts UTF-16 units, so it cannot read such a result from any writer;
// Gnumeric reads no STRING record past its first CONTINUE, so the result is kept short).
sheet::Workbook emojiWorkbook(std::vector<std::string>& texts, bool withResult) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    texts.assign(3, std::string());
    for (int i = 0; i < 4200; ++i) {
        texts[0] += emoji;
    }
    texts[1] = "\xCE\xB1";
    texts[2] = "x";
    for (int i = 0; i < 3000; ++i) {
        texts[1] += emoji;
        texts[2] += "y" + emoji;
    }
    sheet::Workbook wb;
    wb.sheets.resize(1);
    wb.sheets[0].name = "Grade book";
    for (int row = 0; row < 3; ++row) {
        wb.sheets[0].setCell(row, 0, sheet::Cell{sheet::Value(texts[static_cast<std::size_t>(row)]), nullptr, 0});
    }
    if (withResult) {
        texts.push_back("ab" + emoji + "cd");
        wb.sheets[0].setCell(3, 0, sheet::Cell{sheet::Value(texts.back()), formula::parseFormula("=\"ab\"&B1"), 0});
    }
    return wb;
}

QString writeWorkbook(const test::TempDir& dir, const QString& name, const sheet::Workbook& wb) {
    const xls::Bytes bytes = xls::writeXls(wb);
    dir.write(name, QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    return dir.file(name);
}

} // namespace

// xlrd decodes each record's characters on its own and Gnumeric cut long texts at a split pair:
// both read every character of the texts now.
TEST(ExternalReaders, TextsOutsideTheBasicPlaneReadWhole) {
    std::vector<std::string> texts;
    test::TempDir dir;
    const QString constants = writeWorkbook(dir, u"constants.xls"_s, emojiWorkbook(texts, false));
    const QString file = writeWorkbook(dir, u"emoji.xls"_s, emojiWorkbook(texts, true));
    if (const QString python = pythonWithXlrd(); !python.isEmpty()) {
        const ToolRun r = runTool(python, {u"-c"_s,
                                           u"import sys, xlrd\ns = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)\n"
                                           u"sys.stdout.buffer.write('\\n'.join(s.cell_value(r, 0) for r in "
                                           u"range(3)).encode('utf-8'))"_s,
                                           constants});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        const QStringList lines = r.out.split(u'\n');
        ASSERT_EQ(lines.size(), 3);
        for (int row = 0; row < 3; ++row) {
            EXPECT_TRUE(lines[row] == QString::fromStdString(texts[static_cast<std::size_t>(row)]))
                << "row " << row + 1 << ": " << lines[row].size() << " units read";
        }
    }
    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (ssconvert.isEmpty()) {
        GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    }
    const ToolRun r = runTool(ssconvert, {file, dir.file(u"emoji.csv"_s)});
    ASSERT_TRUE(r.ok) << r.err.toStdString();
    const auto rows = parseCsv(dir.read(u"emoji.csv"_s).toStdString());
    for (std::size_t row = 0; row < texts.size(); ++row) {
        // Compared without printing texts of thousands of characters.
        EXPECT_TRUE(at(rows, static_cast<int>(row), 0) == texts[row])
            << "row " << row + 1 << ": " << at(rows, static_cast<int>(row), 0).size() << " bytes read, "
            << texts[row].size() << " written";
    }
}

// Array formulas that LibreOffice and Gnumeric wrote, read and written again by us with their
// stored results made wrong: both programs compute the right results from the formulas we wrote.
TEST(ExternalReaders, ArrayFormulasWeWriteComputeInOtherPrograms) {
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (soffice.isEmpty() && ssconvert.isEmpty()) {
        GTEST_SKIP() << "neither LibreOffice (soffice) nor Gnumeric (ssconvert) is installed";
    }
    test::TempDir dir;
    QStringList files;
    for (const char* name : {"lo_arrays", "gnumeric_arrays"}) {
        sheet::Workbook wb =
            xls::readXlsFile(std::string(MARKWELL_XLS_TEST_DIR) + "/../../data/xls/good/" + name + ".xls").workbook;
        for (const sheet::ArrayFormula& a : wb.sheets[0].arrayFormulas) {
            for (int r = a.area.first.row; r <= a.area.last.row; ++r) {
                for (int c = a.area.first.col; c <= a.area.last.col; ++c) {
                    wb.sheets[0].cellAt(r, c).value = sheet::Value(-1);
                }
            }
        }
        files << writeWorkbook(dir, QString::fromLatin1(name) + u".xls"_s, wb);
    }
    // D1 {=SUM(A1:A3*C1:C3)}, F1:F3 {=A1:A3*2}, H1:I2 {=A1:A3&B1:B3}.
    const std::vector<std::pair<sheet::CellPos, sheet::Value>> expected = {
        {{0, 3}, sheet::Value(32)}, {{0, 5}, sheet::Value(2)},    {{1, 5}, sheet::Value(4)},
        {{2, 5}, sheet::Value(6)},  {{0, 7}, sheet::Value("1w")}, {{1, 8}, sheet::Value("2x")}};
    if (!soffice.isEmpty()) {
        const test::LibreOfficeResults lo = test::libreOfficeValues(files, dir.file(u"lo"_s));
        ASSERT_TRUE(lo.problem.empty()) << lo.problem;
        ASSERT_EQ(lo.books.size(), 2u);
        for (const sheet::Workbook& theirs : lo.books) {
            for (const auto& [pos, value] : expected) {
                const sheet::Cell* c = theirs.sheets[0].cell(pos.row, pos.col);
                EXPECT_EQ(c ? c->value : sheet::Value(), value) << "LibreOffice at " << sheet::toA1(pos);
            }
        }
    }
    if (!ssconvert.isEmpty()) {
        for (const QString& file : files) {
            const ToolRun r = runTool(ssconvert, {u"--recalc"_s, file, file + u".csv"_s});
            ASSERT_TRUE(r.ok) << r.err.toStdString();
            const auto rows = parseCsv(dir.read(QFileInfo(file).fileName() + u".csv"_s).toStdString());
            for (const auto& [pos, value] : expected) {
                EXPECT_EQ(at(rows, pos.row, pos.col),
                          value.isText() ? value.text() : sheet::numberToText(value.number()))
                    << "Gnumeric at " << sheet::toA1(pos) << " of " << file.toStdString();
            }
        }
    }
}
