#include "FilledTemplate.h"

#include "gradebook/template/TemplateData.h"
#include "gradebook/template/TemplateWorkbook.h"
#include "workbook/formula/Printer.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"
#include "TempDir.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cmath>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;
using markwell::test::expectSameResults;
using markwell::test::filledTemplate;
using markwell::test::readFlatOdsValues;
using markwell::test::runTool;
using markwell::test::ToolRun;
using markwell::test::withStaleResults;

// The template as the program carries it, and filled copies of it, as other programs see them.
namespace {

const xls::Bytes& embedded() {
    static const xls::Bytes bytes(gradetemplate::templateWorkbookBytes().begin(),
                                  gradetemplate::templateWorkbookBytes().end());
    return bytes;
}

QByteArray toQByteArray(const xls::Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// The workbooks the independent readers get: the bare template and three classes that reach
// the grade bounds, the grown blocks and the division error.
struct Sample {
    QString file;
    sheet::Workbook workbook;
};

std::vector<Sample> samples() {
    std::vector<Sample> out;
    out.push_back({u"template"_s, gradetemplate::buildTemplateWorkbook()});
    std::vector<test::StudentRow> bounds;
    const double points[] = {60, 59, 90, 97, 93, 105, 89.5, 62.5, 0};
    for (double p : points) {
        bounds.push_back({"Student " + std::to_string(bounds.size() + 1), "00" + std::to_string(bounds.size()), {p}});
    }
    bounds.push_back({"No points", "E16-28", {}});
    out.push_back({u"bounds"_s, filledTemplate({{"Final", 100}}, bounds)});
    std::vector<test::TestColumn> tests;
    for (int t = 1; t <= 7; ++t) {
        tests.push_back({"Test " + std::to_string(t), 10 + t});
    }
    std::vector<test::StudentRow> grown;
    for (int s = 0; s < 5; ++s) {
        test::StudentRow st{"Pupil " + std::to_string(s + 1), std::to_string(2016 + s), {}};
        for (int t = 0; t < 7; ++t) {
            st.points.push_back((s * 7 + t * 3) % 14 + s);
        }
        grown.push_back(st);
    }
    out.push_back({u"grown"_s, filledTemplate(tests, grown)});
    out.push_back({u"nopossible"_s, filledTemplate({{"Quiz", 0}}, {{"Ann", "1", {4}}, {"Ben", "2", {}}})});
    return out;
}

} // namespace

// The build embeds what the layout gives today, and the writer is deterministic about it.
TEST(TemplateBytes, EmbeddedBytesAreTheCurrentLayout) {
    ASSERT_FALSE(embedded().empty());
    EXPECT_EQ(embedded(), xls::writeXls(gradetemplate::buildTemplateWorkbook()));
}

// Our reader gets back from the embedded bytes everything the template is made of.
TEST(TemplateBytes, ReadBackMatchesTheModel) {
    const sheet::Workbook want = gradetemplate::buildTemplateWorkbook();
    const xls::ReadResult read = xls::readXls(xls::ByteView(embedded().data(), embedded().size()));
    const sheet::Workbook& got = read.workbook;
    EXPECT_TRUE(read.warnings.empty()) << read.warnings.front();
    ASSERT_EQ(got.sheets.size(), 1u);
    const sheet::Sheet& a = want.sheets.front();
    const sheet::Sheet& b = got.sheets.front();
    EXPECT_EQ(b.name, a.name);
    int cells = 0;
    a.forEachCell([&](int r, int c, const sheet::Cell& cell) {
        const std::string where = sheet::toA1(sheet::CellPos{r, c});
        const sheet::Cell* other = b.cell(r, c);
        ASSERT_NE(other, nullptr) << where;
        ++cells;
        EXPECT_EQ(other->value, cell.value) << where;
        ASSERT_EQ(static_cast<bool>(other->formula), static_cast<bool>(cell.formula)) << where;
        if (cell.formula) {
            EXPECT_EQ(formula::printFormula(other->formula, &got), formula::printFormula(cell.formula, &want)) << where;
        }
        EXPECT_EQ(got.formats.at(other->format), want.formats.at(cell.format)) << where;
    });
    int readCells = 0;
    b.forEachCell([&](int, int, const sheet::Cell&) { ++readCells; });
    EXPECT_EQ(readCells, cells);
    EXPECT_EQ(b.merged, a.merged);
    ASSERT_EQ(got.names.size(), want.names.size());
    for (const sheet::DefinedName& n : want.names) {
        const sheet::DefinedName* m = got.findName(n.name, n.scopeSheet < 0 ? -1 : n.scopeSheet);
        ASSERT_NE(m, nullptr) << n.name;
        EXPECT_EQ(m->scopeSheet, n.scopeSheet) << n.name;
        EXPECT_EQ(formula::printExpression(m->refersTo, &got), formula::printExpression(n.refersTo, &want));
    }
    ASSERT_EQ(b.comments.size(), a.comments.size());
    for (std::size_t i = 0; i < a.comments.size(); ++i) {
        EXPECT_EQ(b.comments[i].pos, a.comments[i].pos);
        EXPECT_EQ(b.comments[i].text, a.comments[i].text);
    }
    for (int c = 0; c < sheet::kMaxColumns; ++c) {
        ASSERT_NE(b.columnInfoAt(c), nullptr) << c;
        EXPECT_EQ(b.columnInfoAt(c)->width256, a.columnInfoAt(c)->width256) << c;
    }
    for (int r = 0; r < 19; ++r) {
        ASSERT_NE(b.rowInfoAt(r), nullptr) << r;
        EXPECT_EQ(b.rowInfoAt(r)->heightTwips, a.rowInfoAt(r)->heightTwips) << r;
    }
    EXPECT_FALSE(b.showGridlines);
    EXPECT_EQ(b.pageSetup.footerText, a.pageSetup.footerText);
    EXPECT_EQ(b.pageSetup.left, 0.5);
    EXPECT_EQ(b.pageSetup.paperSize, 1);
}

// xlrd reads the stored cells and results as we wrote them, with no warnings.
TEST(TemplateReaders, XlrdOpensTemplateAndFilledWorkbooks) {
    const QString python = test::pythonWithXlrd();
    if (python.isEmpty()) {
        GTEST_SKIP() << "no python3 with xlrd is installed";
    }
    const QString script = uR"(import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True, logfile=sys.stderr)
s = book.sheet_by_index(0)
cells = []
for r in range(s.nrows):
    for c in range(s.ncols):
        t = s.cell_type(r, c)
        if t in (xlrd.XL_CELL_TEXT, xlrd.XL_CELL_NUMBER, xlrd.XL_CELL_BOOLEAN, xlrd.XL_CELL_ERROR):
            cells.append([r, c, t, s.cell_value(r, c)])
print(json.dumps({"sheet": s.name, "rows": s.nrows, "cols": s.ncols, "cells": cells,
                  "names": sorted(n.name for n in book.name_obj_list), "merged": len(s.merged_cells)}))
)"_s;
    test::TempDir dir;
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.file.toStdString());
        const QString path = dir.file(sample.file + u".xls"_s);
        dir.write(sample.file + u".xls"_s, toQByteArray(xls::writeXls(sample.workbook)));
        const ToolRun r = runTool(python, {u"-c"_s, script, path});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        EXPECT_TRUE(r.err.trimmed().isEmpty()) << r.err.toStdString();
        const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
        const sheet::Sheet& sh = sample.workbook.sheets.front();
        EXPECT_EQ(o[u"sheet"_s].toString(), u"Grade book"_s);
        EXPECT_EQ(o[u"rows"_s].toInt(), sh.lastRow() + 1);
        EXPECT_EQ(o[u"cols"_s].toInt(), 33);
        EXPECT_EQ(o[u"merged"_s].toInt(), static_cast<int>(sh.merged.size()));
        EXPECT_EQ(o[u"names"_s].toArray().size(), 3);
        int nonEmpty = 0;
        sh.forEachCell([&](int, int, const sheet::Cell& c) { nonEmpty += c.value.isEmpty() ? 0 : 1; });
        const QJsonArray cells = o[u"cells"_s].toArray();
        EXPECT_EQ(cells.size(), nonEmpty);
        for (const QJsonValue& v : cells) {
            const QJsonArray a = v.toArray();
            const int row = a[0].toInt(), col = a[1].toInt(), type = a[2].toInt();
            const sheet::Cell* c = sh.cell(row, col);
            const std::string where = sheet::toA1(sheet::CellPos{row, col});
            ASSERT_NE(c, nullptr) << where;
            if (type == 1) {
                EXPECT_EQ(c->value, sheet::Value(a[3].toString().toStdString())) << where;
            } else if (type == 2) {
                EXPECT_EQ(c->value, sheet::Value(a[3].toDouble())) << where;
            } else if (type == 5) {
                EXPECT_EQ(c->value, sheet::Value(sheet::ErrorCode::Div0)) << where;
                EXPECT_EQ(a[3].toInt(), 7) << where;
            } else {
                ADD_FAILURE() << where << " came back as xlrd type " << type;
            }
        }
    }
}

// LibreOffice opens each workbook and, with every stored result made stale, computes the same
// results we stored. Its results are read from a flat OpenDocument export: its own .xls export
// writes every text result of a formula as the number 0, whoever wrote the file it loaded.
TEST(TemplateReaders, LibreOfficeComputesTheResultsWeStore) {
    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (soffice.isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    test::TempDir dir;
    const QString profile = u"-env:UserInstallation=file://"_s + dir.file(u"profile"_s);
    const std::vector<Sample> all = samples();
    QStringList args = {profile, u"--headless"_s, u"--convert-to"_s, u"fods"_s, u"--outdir"_s, dir.file(u"lo"_s)};
    for (const Sample& sample : all) {
        dir.write(sample.file + u".xls"_s, toQByteArray(xls::writeXls(withStaleResults(sample.workbook))));
        args << dir.file(sample.file + u".xls"_s);
    }
    const ToolRun r = runTool(soffice, args);
    ASSERT_TRUE(r.ok) << r.err.toStdString();
    for (const Sample& sample : all) {
        SCOPED_TRACE(sample.file.toStdString());
        QFile converted(dir.file(u"lo/"_s + sample.file + u".fods"_s));
        ASSERT_TRUE(converted.open(QIODevice::ReadOnly))
            << "LibreOffice did not convert it: " << r.out.toStdString() << r.err.toStdString();
        sheet::Workbook theirs;
        theirs.sheets.emplace_back();
        std::string problem;
        ASSERT_TRUE(readFlatOdsValues(converted.readAll(), theirs.sheets.front(), problem)) << problem;
        EXPECT_GT(expectSameResults(sample.workbook, theirs, "LibreOffice"), 40);
    }
}

// Gnumeric opens each workbook and its recalculation agrees with ours as well; it prints the
// footer centred.
TEST(TemplateReaders, GnumericComputesTheResultsWeStore) {
    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (ssconvert.isEmpty()) {
        GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    }
    test::TempDir dir;
    for (const Sample& sample : samples()) {
        SCOPED_TRACE(sample.file.toStdString());
        const QString in = dir.file(sample.file + u".xls"_s);
        const QString out = dir.file(sample.file + u"-gnumeric.xls"_s);
        dir.write(sample.file + u".xls"_s, toQByteArray(xls::writeXls(withStaleResults(sample.workbook))));
        const ToolRun r = runTool(ssconvert, {u"--recalc"_s, u"-T"_s, u"Gnumeric_Excel:excel_biff8"_s, in, out});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        EXPECT_TRUE(r.err.trimmed().isEmpty()) << "Gnumeric complained: " << r.err.toStdString();
        ASSERT_TRUE(QFile::exists(out));
        const sheet::Workbook theirs = xls::readXlsFile(out.toStdString()).workbook;
        EXPECT_GT(expectSameResults(sample.workbook, theirs, "Gnumeric"), 40);
        // The footer, as Gnumeric understood and wrote it back, is centred.
        EXPECT_EQ(theirs.sheets.at(0).pageSetup.footerText, "&CPage &P of &N");
    }
}
