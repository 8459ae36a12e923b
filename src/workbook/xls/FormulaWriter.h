#pragma once

#include "ByteIO.h"

#include "workbook/formula/Ast.h"

#include <functional>
#include <string>

namespace markwell::xls {

struct FormulaWriteContext {
    int sheet = 0;        // the sheet the formula lives on
    bool forName = false; // a defined name: every reference is 3-D
    // The EXTERNSHEET index that stands for a sheet.
    std::function<std::uint16_t(int sheet)> externSheet;
    // The 1-based NAME record index for a name used in a formula, or 0 when there is none.
    std::function<unsigned(const std::string& name)> nameIndex;
};

// Turns an expression tree into BIFF8 tokens (IF and CHOOSE with their jump tokens, as other
// writers emit). Throws XlsError(Unsupported) for what BIFF8 cannot hold.
Bytes encodeFormula(const formula::Node& root, const FormulaWriteContext& context);

} // namespace markwell::xls
