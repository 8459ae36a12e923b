// Runs the formula scripts in tests/data/formula. A script is a list of cases:
//
//   case <title>          starts a new case on an empty one-sheet workbook
//   set A1 <literal>      a constant: 12.5, "text", TRUE, FALSE, #N/A ..., or nothing for empty
//   set A1 =<formula>     a formula
//   name <Name> =<refs>   a workbook-level defined name
//   expect A1 <literal>   after recalculating, the cell holds exactly that value (a number to
//                         the last bit: write it with up to 17 significant digits)
//
// Lines starting with '#' and blank lines are ignored.

#include "workbook/formula/Parser.h"
#include "workbook/formula/Recalc.h"
#include "workbook/sheet/Workbook.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace markwell;

namespace {

std::vector<std::string> scriptFiles() {
    std::vector<std::string> files;
    const std::filesystem::path dir = std::filesystem::path(FORMULA_SCRIPT_DIR);
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() == ".txt") {
            files.push_back(entry.path().filename().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

sheet::Value literal(const std::string& text) {
    if (text.empty()) {
        return sheet::Value{};
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        return sheet::Value(text.substr(1, text.size() - 2));
    }
    if (text == "TRUE" || text == "FALSE") {
        return sheet::Value(text == "TRUE");
    }
    if (auto e = sheet::errorFromText(text)) {
        return sheet::Value(*e);
    }
    std::size_t used = 0;
    const double n = std::stod(text, &used);
    if (used != text.size()) {
        throw std::runtime_error("not a literal: " + text);
    }
    return sheet::Value(n);
}

// A value for a failure message; numbers with all 17 digits, so a last-bit difference shows.
std::string exactText(const sheet::Value& v) {
    if (!v.isNumber()) {
        return v.describe();
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", v.number());
    return buffer;
}

sheet::CellPos cellOf(const std::string& a1) {
    const auto ref = sheet::parseA1(a1);
    if (!ref) {
        throw std::runtime_error("not a cell: " + a1);
    }
    return ref->pos;
}

class FormulaScript : public testing::TestWithParam<std::string> {};

TEST_P(FormulaScript, EveryExpectationHolds) {
    std::ifstream in(std::filesystem::path(FORMULA_SCRIPT_DIR) / GetParam());
    ASSERT_TRUE(in) << GetParam();
    sheet::Workbook wb;
    std::string title;
    int cases = 0;
    bool dirty = true;
    std::string line;
    for (int lineNo = 1; std::getline(in, line); ++lineNo) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = GetParam() + ":" + std::to_string(lineNo) + " (" + title + ")";
        std::istringstream words(line);
        std::string verb, target;
        words >> verb >> target;
        std::string rest;
        std::getline(words, rest);
        const auto start = rest.find_first_not_of(' ');
        rest = start == std::string::npos ? std::string() : rest.substr(start);
        if (verb == "case") {
            title = target + (rest.empty() ? "" : " " + rest);
            wb = sheet::Workbook{};
            wb.sheets.emplace_back();
            wb.sheets[0].name = "Sheet1";
            ++cases;
            dirty = true;
        } else if (verb == "set") {
            ASSERT_FALSE(wb.sheets.empty()) << where << ": set before the first case";
            const sheet::CellPos p = cellOf(target);
            sheet::Cell cell;
            if (!rest.empty() && rest[0] == '=') {
                formula::ParseOptions options;
                options.workbook = &wb;
                ASSERT_NO_THROW(cell.formula = formula::parseFormula(rest, options)) << where;
            } else {
                cell.value = literal(rest);
            }
            wb.sheets[0].setCell(p.row, p.col, cell);
            dirty = true;
        } else if (verb == "name") {
            formula::ParseOptions options;
            options.workbook = &wb;
            options.allowUnion = true;
            wb.names.push_back({target, -1, formula::parseFormula(rest, options), false});
            dirty = true;
        } else if (verb == "expect") {
            if (dirty) {
                formula::recalculate(wb);
                dirty = false;
            }
            const sheet::CellPos p = cellOf(target);
            const sheet::Cell* cell = wb.sheets[0].cell(p.row, p.col);
            const sheet::Value actual = cell ? cell->value : sheet::Value{};
            const sheet::Value expected = literal(rest);
            EXPECT_EQ(actual, expected) << where << ": got " << exactText(actual);
        } else {
            FAIL() << where << ": unknown line: " << line;
        }
    }
    EXPECT_GT(cases, 0) << GetParam() << " has no cases";
}

INSTANTIATE_TEST_SUITE_P(Scripts, FormulaScript, testing::ValuesIn(scriptFiles()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param.substr(0, param.param.find('.'));
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

} // namespace
