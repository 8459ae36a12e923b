#include "workbook/formula/Printer.h"
#include "workbook/xls/WorkbookDump.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace markwell;
using namespace markwell::xls;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(MARKWELL_XLS_DATA_DIR);

std::vector<std::string> lines(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

std::string formulaAt(const sheet::Workbook& wb, int sheetIndex, const char* a1) {
    const auto p = sheet::parseA1(a1)->pos;
    const sheet::Cell* c = wb.sheets[static_cast<std::size_t>(sheetIndex)].cell(p.row, p.col);
    return c && c->formula ? formula::printFormula(c->formula, &wb) : std::string("(no formula)");
}

} // namespace

// Files saved by LibreOffice and Gnumeric: we read the cells xlrd reads (its dump is the golden
// file beside each fixture), and what we write from them reads back the same.
TEST(XlsFixtures, FilesFromOtherProgramsReadLikeXlrdReadsThem) {
    int checked = 0;
    for (const auto& e : fs::directory_iterator(kData / "good")) {
        if (e.path().extension() != ".xls") {
            continue;
        }
        SCOPED_TRACE(e.path().filename().string());
        fs::path golden = e.path();
        golden.replace_extension(".xlrd.txt");
        const ReadResult r = readXlsFile(e.path());
        EXPECT_TRUE(r.warnings.empty()) << r.warnings.front();
        EXPECT_EQ(dumpWorkbook(r.workbook), lines(golden));
        EXPECT_EQ(dumpWorkbook(readXls(writeXls(r.workbook)).workbook), lines(golden));
        ++checked;
    }
    EXPECT_GE(checked, 4);
}

// The formulas, names and comments of the feature fixture as both programs saved it.
TEST(XlsFixtures, FormulasNamesAndCommentsFromOtherPrograms) {
    for (const char* file : {"lo_features.xls", "gnumeric_features.xls"}) {
        SCOPED_TRACE(file);
        const sheet::Workbook wb = readXlsFile(kData / "good" / file).workbook;
        ASSERT_EQ(wb.sheets.size(), 2u);
        EXPECT_EQ(formulaAt(wb, 0, "D2"), "=ROUND(SUM(B2:C2)/B5,2)");
        EXPECT_EQ(formulaAt(wb, 0, "D3"), "=IF(B3>0,\"pos\",\"\")");
        EXPECT_EQ(formulaAt(wb, 0, "A4"), "=HLOOKUP(0.7,GradeTable,2)");
        EXPECT_EQ(formulaAt(wb, 0, "B4"), "=1/0");
        EXPECT_EQ(formulaAt(wb, 0, "C4"), "=B2&\" pts\"");
        EXPECT_EQ(formulaAt(wb, 0, "D4"), "=COUNTA(A2:A3)");
        EXPECT_EQ(formulaAt(wb, 1, "A1"), "=SUM(Grades!B2:B3)");
        const sheet::DefinedName* table = wb.findName("GradeTable", 0);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(formula::printFormula(table->refersTo, &wb), "=Grades!$A$5:$D$6");
        const sheet::Sheet& s = wb.sheets[0];
        ASSERT_EQ(s.comments.size(), 1u);
        EXPECT_EQ(s.comments[0].text, "First line\nsecond line");
        EXPECT_EQ(s.comments[0].author, "Teacher");
        EXPECT_EQ(s.merged, (std::vector<sheet::Area>{sheet::Area{{0, 0}, {0, 1}}}));
        const sheet::CellFormat& head = wb.formats[s.cell(0, 0)->format];
        EXPECT_EQ(head.fill, 0xA75A45u);
        EXPECT_EQ(head.font.colour, 0xFFFFFFu);
        EXPECT_TRUE(head.font.bold);
        EXPECT_EQ(head.font.heightTwips, 240);
        EXPECT_EQ(head.left.style, sheet::BorderStyle::Thin);
        EXPECT_EQ(wb.formats[s.cell(1, 3)->format].numberFormat, "0.00%");
        EXPECT_TRUE(wb.formats[s.cell(0, 2)->format].font.italic);
    }
}

// Shared formulas (LibreOffice writes them for filled-down columns) are expanded per cell.
TEST(XlsFixtures, SharedFormulasAreExpanded) {
    const sheet::Workbook wb = readXlsFile(kData / "good" / "lo_roster.xls").workbook;
    EXPECT_EQ(formulaAt(wb, 0, "D2"), "=C2/20");
    EXPECT_EQ(formulaAt(wb, 0, "D3"), "=C3/20");
    EXPECT_EQ(formulaAt(wb, 0, "D4"), "=IF(C4>0,1,0)");
}

// Each broken fixture is named after its fault. A damaged container or record table refuses the
// file with a message naming the problem; damage confined to one formula keeps the cell's value.
TEST(XlsFixtures, BrokenFilesAreRefusedOrRepairedWithAMessage) {
    struct Case {
        const char* file;
        std::optional<XlsErrorKind> refused; // nothing: opens, with a warning
        const char* message;
    };
    const Case cases[] = {
        {"empty_file.xls", XlsErrorKind::NotCompoundFile, "empty"},
        {"zip_package_named_xls.xls", XlsErrorKind::NotCompoundFile, "ZIP"},
        {"truncated_in_stream.xls", XlsErrorKind::Truncated, "cut short"},
        {"sector_chain_loop.xls", XlsErrorKind::Corrupt, "loops"},
        {"biff5_book_stream.xls", XlsErrorKind::OldFormat, "BIFF5"},
        {"encrypted_filepass.xls", XlsErrorKind::Encrypted, "password"},
        {"sheet_without_eof.xls", XlsErrorKind::Truncated, "without an EOF"},
        {"boundsheet_offset_beyond_stream.xls", XlsErrorKind::Corrupt, "beyond the end"},
        {"sst_index_beyond_table.xls", XlsErrorKind::Corrupt, "shared string"},
        {"string_runs_past_record.xls", XlsErrorKind::Truncated, "SST"},
        {"cells_beyond_memory_budget.xls", XlsErrorKind::TooLarge, "more cells"},
        {"formula_garbage_tokens.xls", std::nullopt, "unknown token"},
        {"formula_deep_nesting.xls", std::nullopt, "nests too deeply"},
        {"shared_formula_missing.xls", std::nullopt, "shared formula that is missing"},
        {"xf_index_out_of_range.xls", std::nullopt, nullptr},
        {"mulblank_past_last_column.xls", std::nullopt, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        try {
            const ReadResult r = readXlsFile(kData / "broken" / c.file);
            ASSERT_FALSE(c.refused) << "opened";
            if (c.message) {
                ASSERT_FALSE(r.warnings.empty());
                EXPECT_NE(r.warnings.front().find(c.message), std::string::npos) << r.warnings.front();
                // The formula is gone, its value is not.
                const sheet::Cell* b3 = r.workbook.sheets[0].cell(2, 1);
                ASSERT_NE(b3, nullptr);
                EXPECT_EQ(b3->value, sheet::Value(12.5));
                EXPECT_FALSE(b3->formula);
            }
            EXPECT_EQ(r.workbook.sheets[0].cell(1, 0)->value, sheet::Value("Ann"));
            EXPECT_LE(r.workbook.sheets[0].lastColumn(), 255);
        } catch (const XlsError& e) {
            ASSERT_TRUE(c.refused) << e.what();
            EXPECT_EQ(e.kind(), *c.refused) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

TEST(XlsFixtures, MissingFileIsAnError) {
    EXPECT_THROW(readXlsFile(kData / "no such file.xls"), XlsError);
}
