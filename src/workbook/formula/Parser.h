#pragma once

#include "workbook/formula/Ast.h"
#include "workbook/formula/Lexer.h"

#include <string_view>

namespace markwell::sheet {
class Workbook;
}

namespace markwell::formula {

struct ParseOptions {
    // Resolves sheet names of 3-D references ('Grade book'!$E$2). Without a workbook a sheet
    // name is refused.
    const sheet::Workbook* workbook = nullptr;
    // A defined name's formula may be a list of areas ($B:$B,$12:$12).
    bool allowUnion = false;
};

// Parses formula text as a user types it, with or without the leading '=': A1 references with
// `$`, areas, whole columns and rows, sheet-qualified references, numbers, texts, TRUE/FALSE,
// error values, defined names, functions and the operators with the usual spreadsheet
// precedence. Throws FormulaSyntaxError with a message naming the problem.
NodePtr parseFormula(std::string_view text, const ParseOptions& options = {});

} // namespace markwell::formula
