#include "workbook/formula/Parser.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Workbook.h"

#include <gtest/gtest.h>

using namespace markwell;
using namespace markwell::formula;

namespace {

sheet::Workbook twoSheets() {
    sheet::Workbook wb;
    wb.sheets.resize(2);
    wb.sheets[0].name = "Grade book";
    wb.sheets[1].name = "Data";
    return wb;
}

std::string roundTrip(const std::string& text, const sheet::Workbook* wb = nullptr, bool names = false) {
    ParseOptions options;
    options.workbook = wb;
    options.allowUnion = names;
    return printFormula(parseFormula(text, options), wb);
}

} // namespace

// Text as typed -> canonical text; the canonical text parses to the same tree again.
TEST(Parser, PrintsCanonicalTextThatParsesBackTheSame) {
    const sheet::Workbook wb = twoSheets();
    const std::pair<const char*, const char*> cases[] = {
        {"=IF(OR(G6,G6>\"\"),G6,\"\")", "=IF(OR(G6,G6>\"\"),G6,\"\")"},
        {"=(IF(SUM(G13:K13),ROUND(SUM(G13:K13)/$H$10,2),\"\"))",
         "=(IF(SUM(G13:K13),ROUND(SUM(G13:K13)/$H$10,2),\"\"))"},
        {"=if(d13<>\"\",hlookup(d13,GradeTable,2),\"\")", "=IF(D13<>\"\",HLOOKUP(D13,GradeTable,2),\"\")"},
        {"= 1 + 2 * 3", "=1+2*3"},
        {"=1E3", "=1000"},
        {"=.5+2.50", "=0.5+2.5"},
        {"=\"say \"\"hi\"\"\"", "=\"say \"\"hi\"\"\""},
        {"=-A1%", "=-A1%"},
        {"=--1", "=--1"},
        {"=K6:G6", "=G6:K6"},
        {"=$B$5:h19", "=$B$5:H19"},
        {"=SUM(B:B)", "=SUM(B:B)"},
        {"=SUM($12:$14)", "=SUM($12:$14)"},
        {"=Data!A1+'Grade book'!$E$2", "=Data!A1+'Grade book'!$E$2"},
        {"=true&FALSE", "=TRUE&FALSE"},
        {"=#N/A", "=#N/A"},
        {"=#REF!+1", "=#REF!+1"},
        {"=IF(A1,,2)", "=IF(A1,,2)"},
        {"=NOW()", "=NOW()"},
        {"=1=2", "=1=2"},
        {"=A1<=B1", "=A1<=B1"},
    };
    for (const auto& [typed, canonical] : cases) {
        const std::string printed = roundTrip(typed, &wb);
        EXPECT_EQ(printed, canonical) << typed;
        EXPECT_EQ(roundTrip(printed, &wb), printed) << typed;
    }
    EXPECT_EQ(roundTrip("='Grade book'!$B:$B,'Grade book'!$12:$12", &wb, true),
              "='Grade book'!$B:$B,'Grade book'!$12:$12");
}

TEST(Parser, AppliesSpreadsheetPrecedence) {
    // Each text against its fully parenthesised reading.
    const std::pair<const char*, const char*> cases[] = {
        {"-2^2", "(-2)^2"},   {"2^3^2", "(2^3)^2"},       {"1+2*3", "1+(2*3)"},
        {"1-2-3", "(1-2)-3"}, {"1&2+3", "1&(2+3)"},       {"1+2=3&\"\"", "(1+2)=(3&\"\")"},
        {"2*50%", "2*(50%)"}, {"1<2=TRUE", "(1<2)=TRUE"}, {"-A1^2*3", "((-A1)^2)*3"},
    };
    for (const auto& [text, explicitText] : cases) {
        // Dropping the Paren nodes of the explicit reading must give the same tree.
        std::function<NodePtr(const NodePtr&)> strip = [&](const NodePtr& n) -> NodePtr {
            if (n->kind == NodeKind::Paren) {
                return strip(n->args[0]);
            }
            auto copy = std::make_shared<Node>(*n);
            for (auto& a : copy->args) {
                a = strip(a);
            }
            return copy;
        };
        EXPECT_TRUE(sameTree(parseFormula(text), strip(parseFormula(explicitText)))) << text;
    }
}

TEST(Parser, PrinterAddsParenthesesTheTreeNeeds) {
    // Trees built from tokens carry no Paren nodes; the text must still read back the same.
    const NodePtr sum = makeBinary(BinaryOp::Add, makeNumber(1), makeNumber(2));
    EXPECT_EQ(printFormula(makeBinary(BinaryOp::Mul, sum, makeNumber(3))), "=(1+2)*3");
    EXPECT_EQ(printFormula(makeBinary(BinaryOp::Sub, makeNumber(1), sum)), "=1-(1+2)");
    EXPECT_EQ(printFormula(makeUnary(UnaryOp::Minus, sum)), "=-(1+2)");
    EXPECT_EQ(
        printFormula(makeBinary(BinaryOp::Pow, makeNumber(2), makeBinary(BinaryOp::Pow, makeNumber(3), makeNumber(2)))),
        "=2^(3^2)");
    const NodePtr list = makeBinary(BinaryOp::Union, makeRef({{0, 0}}), makeRef({{1, 1}}));
    EXPECT_EQ(printFormula(makeFunction("SUM", {list})), "=SUM((A1,B2))");
    EXPECT_EQ(printFormula(makeText("a\"b")), "=\"a\"\"b\"");
}

TEST(Parser, RefusesBadTextWithAMessage) {
    const sheet::Workbook wb = twoSheets();
    const char* bad[] = {"=",    "=1+",      "=SUM(1,2",    "=\"open",     "=)",     "=1 2",
                         "=A1:", "=#BOGUS!", "=Nowhere!A1", "='Data'A1",   "=12abc", "=SUM(1;2)",
                         "=A1$", "=1e999",   "=(1,2)+",     "=$GradeTable"};
    for (const char* text : bad) {
        EXPECT_THROW(parseFormula(text, {&wb, false}), FormulaSyntaxError) << text;
    }
    try {
        parseFormula("=SUM(1,2");
        FAIL();
    } catch (const FormulaSyntaxError& e) {
        EXPECT_NE(std::string(e.what()).find("character 9"), std::string::npos) << e.what();
    }
}

TEST(Parser, DeepNestingIsRefusedNotOverflowed) {
    std::string deep = "=" + std::string(5000, '(') + "1" + std::string(5000, ')');
    EXPECT_THROW(parseFormula(deep), FormulaSyntaxError);
    std::string minus = "=" + std::string(5000, '-') + "1";
    EXPECT_THROW(parseFormula(minus), FormulaSyntaxError);
    std::string nested = "=1";
    for (int i = 0; i < 100; ++i) {
        nested = "=IF(TRUE," + nested.substr(1) + ",0)";
    }
    EXPECT_EQ(depth(parseFormula(nested)), 101);
}
