#include "workbook/formula/Parser.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Workbook.h"
#include "workbook/xls/FormulaReader.h"
#include "workbook/xls/FormulaWriter.h"

#include <gtest/gtest.h>

#include <random>

using namespace markwell;
using namespace markwell::xls;

namespace {

// A workbook of two sheets with one name, as token decoding sees it.
struct Context {
    sheet::Workbook wb;
    Globals globals;
    FormulaReadContext read;
    FormulaWriteContext write;

    Context() {
        wb.sheets.resize(2);
        wb.sheets[0].name = "Grade book";
        wb.sheets[1].name = "Other";
        globals.supBooks.push_back(SupBook{SupBook::Kind::Internal, {}});
        globals.externSheets = {{0, 0, 0}, {0, 1, 1}};
        NameRecord n;
        n.name = "GradeTable";
        globals.names.push_back(n);
        read.globals = &globals;
        read.sheetOfBoundSheet = {0, 1};
        write.externSheet = [](int s) { return static_cast<std::uint16_t>(s); };
        write.nameIndex = [](const std::string& name) {
            return sheet::equalsIgnoringCase(name, "GradeTable") ? 1u : 0u;
        };
    }
    formula::NodePtr parse(const std::string& text) const {
        formula::ParseOptions o;
        o.workbook = &wb;
        o.allowUnion = true;
        return formula::parseFormula(text, o);
    }
};

std::string hex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (auto v : b) {
        std::snprintf(buf, sizeof buf, "%02x ", v);
        s += buf;
    }
    return s;
}

} // namespace

// Text -> tree -> tokens -> tree gives the same tree, for every construct the model has.
TEST(FormulaTokens, TreesSurviveTheTokens) {
    Context ctx;
    const char* formulas[] = {
        "=1",
        "=0",
        "=65535",
        "=65536",
        "=-1",
        "=0.5",
        "=1E+300",
        "=\"\"",
        "=\"say \"\"hi\"\"\"",
        "=\"Grüße\"",
        "=TRUE",
        "=FALSE",
        "=#N/A",
        "=#DIV/0!",
        "=#VALUE!",
        "=#NAME?",
        "=#NUM!",
        "=#NULL!",
        "=#REF!",
        "=A1",
        "=$A$1",
        "=A$1",
        "=$A1",
        "=IV65536",
        "=A1:B2",
        "=$B$5:$H$19",
        "=$B:$B",
        "=12:12",
        "=A:C",
        "=-A1",
        "=+A1",
        "=A1%",
        "=-2^2",
        "=(1+2)*3",
        "=1-2-3",
        "=2^3^2",
        "=\"a\"&\"b\"&C1",
        "=A1=B1",
        "=A1<>B1",
        "=A1<B1",
        "=A1<=B1",
        "=A1>B1",
        "=A1>=B1",
        "=(IF(SUM(G13:K13),ROUND(SUM(G13:K13)/$H$10,2),\"\"))",
        "=IF(OR(G6,G6>\"\"),G6,\"\")",
        "=IF(D13<>\"\",HLOOKUP(D13,GradeTable,2),\"\")",
        "=IF(A1,B1)",
        "=IF(A1,,2)",
        "=IF(A1,IF(B1,1,2),IF(C1,3,4))",
        "=VLOOKUP(A1,$E$2:$Q$4,2,FALSE)",
        "=COUNTA(G6:K6)",
        "=NOT(A1)",
        "=AND(A1,B1,C1)",
        "=AVERAGE(D12:D15)+MAX(D12:D15)-MIN(D12:D15)+COUNT(D12:D15)",
        "=NA()",
        "=PI()",
        "=CHOOSE(2,\"a\",\"b\",\"c\")",
        "=SUM(1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30)",
        "='Grade book'!A1",
        "=SUM(Other!A1:B2)",
        "=Other!$A$1+'Grade book'!B2",
        "=GradeTable",
    };
    for (const char* text : formulas) {
        SCOPED_TRACE(text);
        const formula::NodePtr tree = ctx.parse(text);
        const Bytes tokens = encodeFormula(*tree, ctx.write);
        const formula::NodePtr back = decodeFormula(tokens, ctx.read);
        EXPECT_TRUE(formula::sameTree(tree, back)) << formula::printFormula(back, &ctx.wb) << " from " << hex(tokens);
    }
    // Defined names: 3-D references throughout, and lists of areas.
    ctx.write.forName = true;
    ctx.read.forName = true;
    for (const char* text : {"='Grade book'!$E$2:$Q$4", "='Grade book'!$B:$B,'Grade book'!$12:$12", "=Other!$A$1"}) {
        SCOPED_TRACE(text);
        const formula::NodePtr tree = ctx.parse(text);
        const Bytes tokens = encodeFormula(*tree, ctx.write);
        EXPECT_TRUE(tokens[0] == 0x3B || tokens[0] == 0x3A || tokens[0] == 0x29) << hex(tokens);
        EXPECT_TRUE(formula::sameTree(tree, decodeFormula(tokens, ctx.read)));
    }
}

// IF comes out with the jump tokens other writers emit: these are LibreOffice's bytes for it.
TEST(FormulaTokens, IfIsWrittenWithItsJumps) {
    Context ctx;
    const Bytes expected = {0x44, 0x03, 0x00, 0x02, 0xC0, 0x1E, 0x00, 0x00, 0x0D, 0x19, 0x02,
                            0x07, 0x00, 0x1E, 0x01, 0x00, 0x19, 0x08, 0x0A, 0x00, 0x1E, 0x00,
                            0x00, 0x19, 0x08, 0x03, 0x00, 0x42, 0x03, 0x01, 0x00};
    EXPECT_EQ(hex(encodeFormula(*ctx.parse("=IF(C4>0,1,0)"), ctx.write)), hex(expected));
    // IF with its condition alone is accepted as it is parsed and evaluated, and written as
    // LibreOffice writes it: IF(TRUE(),TRUE) with the jumps.
    EXPECT_EQ(hex(encodeFormula(*ctx.parse("=IF(TRUE)"), ctx.write)),
              "1d 01 19 02 06 00 1d 01 19 08 03 00 42 02 01 00 ");
    EXPECT_EQ(formula::printFormula(decodeFormula(encodeFormula(*ctx.parse("=IF(A1=2)"), ctx.write), ctx.read)),
              "=IF(A1=2,TRUE)");
    // Fixed-argument functions use ptgFunc, variable ones ptgFuncVar with the count.
    EXPECT_EQ(hex(encodeFormula(*ctx.parse("=ROUND(1,2)"), ctx.write)), "1e 01 00 1e 02 00 41 1b 00 ");
    EXPECT_EQ(hex(encodeFormula(*ctx.parse("=SUM(A1:B2)"), ctx.write)), "25 00 00 01 00 00 c0 01 c0 42 01 04 00 ");
}

TEST(FormulaTokens, SharedFormulaOffsetsFollowTheCell) {
    Context ctx;
    // ptgRefN: row offset 0, column offset -1 (both relative); ptgInt 20; divide.
    const Bytes rgce = {0x4C, 0x00, 0x00, 0xFF, 0xC0, 0x1E, 0x14, 0x00, 0x06};
    ctx.read.row = 2;
    ctx.read.col = 3;
    EXPECT_EQ(formula::printFormula(decodeFormula(rgce, ctx.read)), "=C3/20");
    ctx.read.row = 40;
    EXPECT_EQ(formula::printFormula(decodeFormula(rgce, ctx.read)), "=C41/20");
    // Absolute parts stay put.
    const Bytes area = {0x2D, 0x04, 0x00, 0x05, 0x00, 0x01, 0x00, 0x02, 0x80};
    EXPECT_EQ(formula::printFormula(decodeFormula(area, ctx.read)), "=$B$5:$C46");
}

TEST(FormulaTokens, FunctionsTheTableDoesNotKnow) {
    Context ctx;
    // ptgFuncVar with function number 999: kept under a placeholder, written back by number.
    const Bytes unknownVar = {0x1E, 0x01, 0x00, 0x42, 0x01, 0xE7, 0x03};
    const formula::NodePtr tree = decodeFormula(unknownVar, ctx.read);
    EXPECT_EQ(tree->kind, formula::NodeKind::Function);
    EXPECT_EQ(tree->text, "_XLFUNC999");
    EXPECT_EQ(encodeFormula(*tree, ctx.write), unknownVar);
    // ptgFunc with an unknown number cannot be decoded: its argument count is unknown.
    EXPECT_THROW(decodeFormula(Bytes{0x1E, 0x01, 0x00, 0x41, 0xE7, 0x03}, ctx.read), XlsError);
    // An add-in call names its function in the first argument.
    ctx.globals.supBooks.push_back(SupBook{SupBook::Kind::AddIn, {"_xlfn.IFERROR"}});
    ctx.globals.externSheets.push_back({1, 0xFFFE, 0xFFFE});
    const Bytes addIn = {0x39, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0x1E, 0x01,
                         0x00, 0x1E, 0x02, 0x00, 0x42, 0x03, 0xFF, 0x00};
    EXPECT_EQ(formula::printFormula(decodeFormula(addIn, ctx.read)), "=IFERROR(1,2)");
}

// Tokens from a damaged file: anything may come, and nothing but XlsError may come out.
TEST(FormulaTokens, GarbageNeverCrashes) {
    Context ctx;
    std::mt19937 random(12345);
    const Bytes valid = encodeFormula(*ctx.parse("=IF(OR(G6,G6>\"\"),HLOOKUP(D13,GradeTable,2),-$A$1%)"), ctx.write);
    int decoded = 0;
    for (int i = 0; i < 20000; ++i) {
        Bytes b;
        if (i % 2 == 0) {
            b.resize(random() % 40);
            for (auto& v : b) {
                v = static_cast<std::uint8_t>(random());
            }
        } else {
            b = valid;
            b.resize(random() % (valid.size() + 1));
            if (!b.empty()) {
                b[random() % b.size()] = static_cast<std::uint8_t>(random());
            }
        }
        try {
            if (decodeFormula(b, ctx.read)) {
                ++decoded;
            }
        } catch (const XlsError&) {
        }
    }
    EXPECT_GT(decoded, 0);
    // A chain of 100000 unary minus signs is refused, not recursed into.
    Bytes deep = {0x1E, 0x01, 0x00};
    deep.insert(deep.end(), 100000, 0x13);
    EXPECT_THROW(decodeFormula(deep, ctx.read), XlsError);
}

TEST(FormulaTokens, WhatBiff8CannotHoldIsRefused) {
    Context ctx;
    EXPECT_THROW(encodeFormula(*formula::makeText(std::string(256, 'x')), ctx.write), XlsError);
    EXPECT_THROW(encodeFormula(*ctx.parse("=NoSuchName"), ctx.write), XlsError);
    EXPECT_THROW(encodeFormula(*ctx.parse("=ROUND(1)"), ctx.write), XlsError);
    // A 3-D reference to another workbook's sheet cannot be read into this model.
    ctx.globals.supBooks.push_back(SupBook{SupBook::Kind::External, {}});
    ctx.globals.externSheets.push_back({1, 0, 0});
    EXPECT_THROW(decodeFormula(Bytes{0x3A, 0x02, 0x00, 0x00, 0x00, 0x00, 0xC0}, ctx.read), XlsError);
    EXPECT_THROW(decodeFormula(Bytes{0x3A, 0x09, 0x00, 0x00, 0x00, 0x00, 0xC0}, ctx.read), XlsError);
}
