#pragma once

#include "ByteIO.h"

#include "workbook/formula/Ast.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace markwell::xls {

struct FormulaWriteContext {
    int sheet = 0;             // the sheet the formula lives on
    bool forName = false;      // a defined name: every reference is 3-D
    bool arrayFormula = false; // an array formula's tokens: operands are of the array class
    // The EXTERNSHEET index that stands for a sheet.
    std::function<std::uint16_t(int sheet)> externSheet;
    // The 1-based NAME record index for a name used in a formula, or 0 when there is none.
    std::function<unsigned(const std::string& name)> nameIndex;
    // For a function outside the built-in table: its EXTERNSHEET index and its 1-based EXTERNNAME
    // index in the add-in link, written as an add-in call; nothing when there is no such link.
    std::function<std::optional<std::pair<std::uint16_t, std::uint16_t>>(const std::string& name)> externalFunction;
};

// Turns an expression tree into BIFF8 tokens (IF and CHOOSE with their jump tokens, as other
// writers emit). Throws XlsError(Unsupported) for what BIFF8 cannot hold.
Bytes encodeFormula(const formula::Node& root, const FormulaWriteContext& context);

// True when a function name needs the add-in link to be written (it is neither in the table of
// built-in functions nor a numbered placeholder read from a file).
bool isExternalFunction(const std::string& upperName);

// The name an add-in call is stored under: functions newer than the format get "_xlfn.".
std::string externalFunctionName(const std::string& upperName);

} // namespace markwell::xls
