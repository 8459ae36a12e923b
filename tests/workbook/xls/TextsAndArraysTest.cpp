// Long texts, characters outside the Basic Multilingual Plane, and array formulas, as they are
// written and as they come from other writers.

#include "workbook/formula/Parser.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Structure.h"
#include "workbook/xls/RecordIds.h"
#include "workbook/xls/RecordReader.h"
#include "workbook/xls/RecordWriter.h"
#include "workbook/xls/SharedStrings.h"
#include "workbook/xls/Strings.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"
#include "workbook/xls/cfb/CompoundFileReader.h"
#include "workbook/xls/cfb/CompoundFileWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

using namespace markwell;
using namespace markwell::xls;

namespace {

const std::string kEmoji = "\xF0\x9F\x98\x80"; // U+1F600, a surrogate pair in UTF-16

std::string repeated(const std::string& piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// Decodes the strings of an SST record part by part, the way readers that decode each
// CONTINUE record's characters on their own do (xlrd among them), refusing a part that ends in
// the first half of a surrogate pair.
std::vector<std::string> decodePartByPart(const Record& sst) {
    std::vector<Bytes> parts;
    std::size_t from = 0;
    for (std::size_t b : sst.breaks) {
        parts.emplace_back(sst.data.begin() + static_cast<std::ptrdiff_t>(from),
                           sst.data.begin() + static_cast<std::ptrdiff_t>(b));
        from = b;
    }
    parts.emplace_back(sst.data.begin() + static_cast<std::ptrdiff_t>(from), sst.data.end());
    std::size_t part = 0, at = 8;
    std::vector<std::string> out;
    auto u8 = [&] {
        if (at >= parts[part].size()) {
            ++part;
            at = 0;
        }
        return parts.at(part).at(at++);
    };
    const std::uint32_t count = load32(sst.data.data() + 4);
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t chars = u8();
        chars |= static_cast<std::size_t>(u8()) << 8;
        bool high = u8() & 1;
        std::u16string text;
        while (text.size() < chars) {
            if (at == parts[part].size()) {
                ++part;
                at = 0;
                high = parts.at(part).at(at++) & 1;
            }
            std::u16string piece;
            const Bytes& bytes = parts[part];
            while (text.size() + piece.size() < chars && at < bytes.size()) {
                piece += high ? static_cast<char16_t>(bytes[at] | (bytes.at(at + 1) << 8)) : bytes[at];
                at += high ? 2 : 1;
            }
            if (!piece.empty() && piece.back() >= 0xD800 && piece.back() < 0xDC00) {
                ADD_FAILURE() << "string " << i << " is split inside a surrogate pair";
            }
            text += piece;
        }
        out.push_back(utf16ToUtf8(text));
    }
    return out;
}

Record onlyRecord(const Bytes& stream) {
    RecordReader r(stream);
    auto rec = r.next();
    EXPECT_TRUE(rec.has_value());
    return rec ? *rec : Record{};
}

sheet::Workbook oneSheet() {
    sheet::Workbook wb;
    wb.sheets.resize(1);
    wb.sheets[0].name = "S";
    return wb;
}

const sheet::Cell* cellAt(const sheet::Workbook& wb, const char* a1) {
    const auto p = sheet::parseA1(a1)->pos;
    return wb.sheets[0].cell(p.row, p.col);
}

// The workbook stream of a file, and a file around a workbook stream.
Bytes streamOf(const Bytes& file) {
    const cfb::CompoundFileReader container(file);
    return container.readStream(*container.findStream("Workbook"));
}
Bytes fileOf(Bytes stream) {
    cfb::CompoundFileWriter w;
    w.addStream("Workbook", std::move(stream));
    return w.build();
}

// The physical records of a workbook stream, to be changed the way a damaged file or another
// writer has them, and the stream made of them again.
struct RawRecord {
    std::uint16_t id;
    Bytes data;
};
std::vector<RawRecord> rawRecords(const Bytes& stream) {
    std::vector<RawRecord> out;
    for (std::size_t at = 0; at + 4 <= stream.size();) {
        const std::size_t length = load16(stream.data() + at + 2);
        out.push_back(
            {load16(stream.data() + at), Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                               stream.begin() + static_cast<std::ptrdiff_t>(at + 4 + length))});
        at += 4 + length;
    }
    return out;
}
Bytes streamOf(const std::vector<RawRecord>& records) {
    ByteWriter w;
    for (const RawRecord& r : records) {
        w.u16(r.id);
        w.u16(static_cast<unsigned>(r.data.size()));
        w.bytes(r.data);
    }
    return std::move(w.data());
}

const std::filesystem::path kGood = std::filesystem::path(MARKWELL_XLS_DATA_DIR) / "good";

} // namespace

// However the strings fall on the record boundaries, the two halves of a surrogate pair stay in
// one record, and every string reads back whole.
TEST(LongTexts, SharedStringsNeverSplitASurrogatePair) {
    for (int shift = 0; shift < 4; ++shift) {
        SCOPED_TRACE("shift " + std::to_string(shift));
        const std::vector<std::string> texts = {std::string(static_cast<std::size_t>(shift), 'x'),
                                                repeated(kEmoji, 4200), "\xCE\xB1" + repeated(kEmoji, 3000),
                                                repeated("a" + kEmoji, 2500), "Harold Winslow"};
        SharedStringsBuilder b;
        for (const auto& t : texts) {
            b.add(t);
        }
        RecordWriter w;
        b.write(w);
        const Record sst = onlyRecord(w.take());
        EXPECT_GT(sst.breaks.size(), 3u);
        EXPECT_EQ(decodePartByPart(sst), texts);
        EXPECT_EQ(readSharedStrings(sst), texts);
    }
}

// Files from writers that do split a pair are read without complaint, the character whole.
TEST(LongTexts, PairsSplitByOtherWritersAreJoined) {
    Record sst;
    sst.id = rec::kSst;
    // One string of two UTF-16 units: the first half, then a CONTINUE with its options byte and the
    // second half.
    sst.data = {1, 0, 0, 0, 1, 0, 0, 0, 3, 0, 1, 0x3D, 0xD8, 0x01, 0x00, 0xDE, 'o', 0};
    sst.breaks = {13};
    EXPECT_EQ(readSharedStrings(sst), (std::vector<std::string>{kEmoji + "o"}));
}

// A formula's text result goes in STRING records; it never splits a pair either. A result longer
// than the 32767 characters of a cell is what a spreadsheet program computes for it, #VALUE!, so
// no STRING record is ever written with a count cut to 16 bits.
TEST(LongTexts, TextResultsOfFormulas) {
    sheet::Workbook wb = oneSheet();
    const std::string full = "a" + repeated(kEmoji, 16383);  // 32767 units
    const std::string tooLong = repeated(kEmoji, 20000);     // 40000 units
    const std::string beyondCount = std::string(70000, 'b'); // more than a 16-bit count
    const char* cells[] = {"A1", "A2", "A3"};
    const std::string* results[] = {&full, &tooLong, &beyondCount};
    for (int i = 0; i < 3; ++i) {
        const auto p = sheet::parseA1(cells[i])->pos;
        wb.sheets[0].setCell(p.row, p.col, sheet::Cell{sheet::Value(*results[i]), formula::parseFormula("=B1&B2"), 0});
    }
    const Bytes file = writeXls(wb);
    const ReadResult back = readXls(file);
    EXPECT_TRUE(back.warnings.empty()) << back.warnings.front();
    EXPECT_EQ(cellAt(back.workbook, "A1")->value, sheet::Value(full));
    EXPECT_EQ(cellAt(back.workbook, "A2")->value, sheet::Value(sheet::ErrorCode::Value));
    EXPECT_EQ(cellAt(back.workbook, "A3")->value, sheet::Value(sheet::ErrorCode::Value));

    // The records of A1's result, decoded part by part as above, keep every pair whole.
    const Bytes stream = streamOf(file);
    RecordReader r(stream);
    int strings = 0;
    while (auto rec = r.next()) {
        if (rec->id == rec::kString) {
            ++strings;
            Record asTable = *rec; // a STRING record reads like a one-string table after 8 bytes
            asTable.data.insert(asTable.data.begin(), {1, 0, 0, 0, 1, 0, 0, 0});
            for (std::size_t& b : asTable.breaks) {
                b += 8;
            }
            EXPECT_EQ(decodePartByPart(asTable), (std::vector<std::string>{full}));
        }
    }
    EXPECT_EQ(strings, 1);
}

// A writer that stored a result of 70000 characters with its count cut to 16 bits (4464): our
// reader reads all of them and says so, instead of keeping the first 4464.
TEST(LongTexts, StringRecordWithACutCountIsReadWhole) {
    sheet::Workbook wb = oneSheet();
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value(std::string(4464, 'c')), formula::parseFormula("=B1"), 0});
    std::vector<RawRecord> records = rawRecords(streamOf(writeXls(wb)));
    // Append 65536 more characters to the STRING record, in CONTINUE records with their options
    // byte, as that writer did.
    const auto string =
        std::find_if(records.begin(), records.end(), [](const RawRecord& r) { return r.id == rec::kString; });
    ASSERT_NE(string, records.end());
    std::vector<RawRecord> more;
    for (std::size_t left = 65536; left > 0;) {
        const std::size_t n = std::min<std::size_t>(left, rec::kMaxRecordData - 1);
        more.push_back({rec::kContinue, Bytes(n + 1, 'c')});
        more.back().data[0] = 0;
        left -= n;
    }
    records.insert(string + 1, more.begin(), more.end());
    const Bytes patched = streamOf(records);
    const ReadResult back = readXls(fileOf(patched));
    EXPECT_EQ(cellAt(back.workbook, "A1")->value, sheet::Value(std::string(70000, 'c')));
    ASSERT_EQ(back.warnings.size(), 1u);
    EXPECT_NE(back.warnings[0].find("70000 characters"), std::string::npos) << back.warnings[0];
}

// IF with its condition alone: parsed, evaluated and written alike (as IF(condition,TRUE), which
// gives the same), so the workbook that holds it is saved.
TEST(LongTexts, IfWithOnlyAConditionIsWritten) {
    sheet::Workbook wb = oneSheet();
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value(true), formula::parseFormula("=IF(TRUE)"), 0});
    const ReadResult back = readXls(writeXls(wb));
    const sheet::Cell* c = cellAt(back.workbook, "A1");
    ASSERT_TRUE(c && c->formula);
    EXPECT_EQ(formula::printFormula(c->formula), "=IF(TRUE,TRUE)");
    EXPECT_EQ(c->value, sheet::Value(true));
}

// Array formulas from LibreOffice and Gnumeric stay array formulas, with their results, and are
// written back as such.
TEST(ArrayFormulas, ReadFromOtherProgramsAndWrittenBack) {
    for (const char* file : {"lo_arrays.xls", "gnumeric_arrays.xls"}) {
        SCOPED_TRACE(file);
        const ReadResult read = readXlsFile(kGood / file);
        EXPECT_TRUE(read.warnings.empty()) << read.warnings.front();
        for (const sheet::Workbook& wb : {read.workbook, readXls(writeXls(read.workbook)).workbook}) {
            const sheet::Sheet& s = wb.sheets.at(0);
            ASSERT_EQ(s.arrayFormulas.size(), 3u);
            EXPECT_EQ(sheet::toA1(s.arrayFormulas[0].area), "D1");
            EXPECT_EQ(formula::printFormula(s.arrayFormulas[0].formula, &wb), "=SUM(A1:A3*C1:C3)");
            EXPECT_EQ(sheet::toA1(s.arrayFormulas[1].area), "F1:F3");
            EXPECT_EQ(formula::printFormula(s.arrayFormulas[1].formula, &wb), "=A1:A3*2");
            EXPECT_EQ(sheet::toA1(s.arrayFormulas[2].area), "H1:I2");
            EXPECT_EQ(cellAt(wb, "D1")->value, sheet::Value(32));
            EXPECT_FALSE(cellAt(wb, "D1")->formula);
            EXPECT_EQ(cellAt(wb, "F3")->value, sheet::Value(6));
            EXPECT_EQ(s.arrayFormulaAt(sheet::CellPos{1, 8}), &s.arrayFormulas[2]);
            EXPECT_EQ(s.arrayFormulaAt(sheet::CellPos{3, 5}), nullptr);
        }
    }
    // The records: each cell of an array points at the first one, which the ARRAY record follows.
    const Bytes stream = streamOf(writeXls(readXlsFile(kGood / "lo_arrays.xls").workbook));
    RecordReader r(stream);
    std::vector<std::string> seen;
    while (auto rec = r.next()) {
        // FORMULA: row, column, format, result (8 bytes), options, 4 reserved bytes, token length.
        if (rec->id == rec::kFormula && rec->data.size() == 27 && rec->data[20] == 5 && rec->data[22] == 0x01) {
            seen.push_back("exp " + std::to_string(load16(rec->data.data() + 23)) + "," +
                           std::to_string(load16(rec->data.data() + 25)));
        } else if (rec->id == rec::kArray) {
            seen.push_back("array");
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"exp 0,3", "array", "exp 0,5", "array", "exp 0,7", "array", "exp 0,7",
                                              "exp 0,5", "exp 0,7", "exp 0,7", "exp 0,5"}));
}

// An array formula whose cells a damaged file does not all hold (here F2's record is missing) is
// not kept as one: the cells keep their results, with a warning, and the workbook is written.
TEST(ArrayFormulas, IncompleteArraysKeepTheirResults) {
    std::ifstream in(kGood / "lo_arrays.xls", std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<RawRecord> records = rawRecords(streamOf(file));
    const auto f2 = std::find_if(records.begin(), records.end(), [](const RawRecord& r) {
        return r.id == rec::kFormula && load16(r.data.data()) == 1 && load16(r.data.data() + 2) == 5;
    });
    ASSERT_NE(f2, records.end());
    records.erase(f2);
    const ReadResult read = readXls(fileOf(streamOf(records)));
    ASSERT_EQ(read.warnings.size(), 1u);
    EXPECT_NE(read.warnings[0].find("F1:F3 lacks some of its cells"), std::string::npos) << read.warnings[0];
    const sheet::Sheet& s = read.workbook.sheets[0];
    EXPECT_EQ(s.arrayFormulas.size(), 2u);
    EXPECT_EQ(s.arrayFormulaAt(sheet::CellPos{0, 5}), nullptr);
    EXPECT_EQ(cellAt(read.workbook, "F3")->value, sheet::Value(6));
    EXPECT_EQ(readXls(writeXls(read.workbook)).workbook.sheets[0].arrayFormulas.size(), 2u);
}

// An array formula moves and is copied whole with the rows and cells around it; a change that
// would split it is refused before anything changes.
TEST(ArrayFormulas, StructuralChangesMoveCopyOrRefuseThemWhole) {
    sheet::Workbook wb = readXlsFile(kGood / "lo_arrays.xls").workbook;
    const auto arrays = [&] {
        std::vector<std::string> out;
        for (const sheet::ArrayFormula& a : wb.sheets[0].arrayFormulas) {
            out.push_back(sheet::toA1(a.area) + " " + formula::printFormula(a.formula, &wb));
        }
        return out;
    };
    // Rows inserted above: everything moves down, references included.
    sheet::insertCopiedRows(wb, 0, 9, 9, 0, 2);
    EXPECT_EQ(arrays(), (std::vector<std::string>{"D3 =SUM(A3:A5*C3:C5)", "F3:F5 =A3:A5*2", "H3:I4 =A3:A5&B3:B5"}));
    EXPECT_EQ(cellAt(wb, "D3")->value, sheet::Value(32));
    // Splitting F3:F5 or H3:I4 is refused and changes nothing.
    const std::vector<std::string> before = arrays();
    EXPECT_THROW(sheet::insertCopiedRows(wb, 0, 9, 9, 3, 1), sheet::StructureError);
    EXPECT_THROW(sheet::deleteRows(wb, 0, 3, 3), sheet::StructureError);
    EXPECT_THROW(sheet::insertCopiedCells(wb, 0, *sheet::parseArea("J3:J4"), sheet::CellPos{2, 8}, 1),
                 sheet::StructureError);
    EXPECT_THROW(sheet::insertCopiedCells(wb, 0, *sheet::parseArea("E4:E4"), sheet::CellPos{3, 4}, 1),
                 sheet::StructureError);
    EXPECT_EQ(arrays(), before);
    // Copying cells that hold a whole array copies it, its references moved as a pasted formula's;
    // copying part of one is refused.
    EXPECT_THROW(sheet::insertCopiedRows(wb, 0, 2, 2, 20, 1), sheet::StructureError);
    sheet::insertCopiedCells(wb, 0, *sheet::parseArea("D3"), sheet::CellPos{20, 3}, 2);
    EXPECT_EQ(arrays().size(), 5u);
    EXPECT_EQ(arrays()[3], "D21 =SUM(A21:A23*C21:C23)");
    EXPECT_EQ(arrays()[4], "E21 =SUM(A21:A23*C21:C23)");
    EXPECT_EQ(cellAt(wb, "E21")->value, sheet::Value(32));
    // Cells inserted left of an array in its rows push it right.
    sheet::insertCopiedCells(wb, 0, *sheet::parseArea("A3:A5"), sheet::CellPos{2, 0}, 1);
    EXPECT_EQ(arrays()[1], "G3:G5 =B3:B5*2");
    // Deleting all of an array's rows deletes it; the workbook is written and read back as it is.
    sheet::deleteRows(wb, 0, 20, 20);
    EXPECT_EQ(arrays().size(), 3u);
    const ReadResult back = readXls(writeXls(wb));
    EXPECT_TRUE(back.warnings.empty()) << back.warnings.front();
    EXPECT_EQ(back.workbook.sheets[0].arrayFormulas.size(), 3u);
}

// What a reader cannot hold and a model that contradicts itself are refused, never written wrongly.
TEST(ArrayFormulas, BrokenArraysAreRefusedOnWriting) {
    sheet::Workbook wb = oneSheet();
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value(1), nullptr, 0});
    wb.sheets[0].arrayFormulas.push_back({*sheet::parseArea("A1:A2"), formula::parseFormula("=B1:B2")});
    EXPECT_THROW(writeXls(wb), XlsError); // A2 holds no result
    wb.sheets[0].setCell(1, 0, sheet::Cell{sheet::Value(2), formula::parseFormula("=1"), 0});
    EXPECT_THROW(writeXls(wb), XlsError); // A2 has a formula of its own
    wb.sheets[0].setCell(1, 0, sheet::Cell{sheet::Value(2), nullptr, 0});
    wb.sheets[0].arrayFormulas.push_back({*sheet::parseArea("A2"), formula::parseFormula("=B2")});
    EXPECT_THROW(writeXls(wb), XlsError); // two arrays over A2
    wb.sheets[0].arrayFormulas.pop_back();
    EXPECT_NO_THROW(writeXls(wb));
}

// The cell records read straight from the stream check their length like any other record: one
// cut short is refused with its name, and one whose fields go on in a CONTINUE record reads whole.
TEST(Records, CellRecordsCutShortOrContinued) {
    sheet::Workbook wb = oneSheet();
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value("x"), nullptr, 0});
    const std::vector<RawRecord> written = rawRecords(streamOf(writeXls(wb)));
    struct Case {
        const char* name;
        std::uint16_t id;
        Bytes data; // B1: 3, or the shared string "x"
        sheet::Value value;
    };
    const std::vector<Case> cases = {
        {"NUMBER", rec::kNumber, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0x40}, sheet::Value(3)},
        {"RK", rec::kRk, {0, 0, 1, 0, 0, 0, 14, 0, 0, 0}, sheet::Value(3)},
        {"MULRK", rec::kMulRk, {0, 0, 1, 0, 0, 0, 14, 0, 0, 0, 1, 0}, sheet::Value(3)},
        {"LABELSST", rec::kLabelSst, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0}, sheet::Value("x")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Before the sheet's EOF, the last record: cut short, then in two parts.
        std::vector<RawRecord> cut = written;
        cut.insert(cut.end() - 1, {c.id, Bytes(c.data.begin(), c.data.begin() + 3)});
        try {
            readXls(fileOf(streamOf(cut)));
            ADD_FAILURE() << "a short record was read";
        } catch (const XlsError& e) {
            EXPECT_EQ(e.kind(), XlsErrorKind::Truncated);
            EXPECT_NE(std::string(e.what()).find(std::string(c.name) + " record"), std::string::npos) << e.what();
        }
        std::vector<RawRecord> split = written;
        split.insert(split.end() - 1, {{c.id, Bytes(c.data.begin(), c.data.begin() + 5)},
                                       {rec::kContinue, Bytes(c.data.begin() + 5, c.data.end())}});
        const ReadResult back = readXls(fileOf(streamOf(split)));
        ASSERT_NE(cellAt(back.workbook, "B1"), nullptr);
        EXPECT_EQ(cellAt(back.workbook, "B1")->value, c.value);
    }
}
