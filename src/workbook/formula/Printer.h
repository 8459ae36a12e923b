#pragma once

#include "workbook/formula/Ast.h"

#include <string>

namespace markwell::sheet {
class Workbook;
}

namespace markwell::formula {

// The canonical text of a formula, with its leading '='. Parentheses are added wherever the
// tree's structure needs them, so parsing the text gives the same tree back. Sheet names come
// from the workbook; without one a 3-D reference names its sheet by number ("Sheet2").
std::string printFormula(const NodePtr& root, const sheet::Workbook* workbook = nullptr);

// The same without the '='.
std::string printExpression(const NodePtr& root, const sheet::Workbook* workbook = nullptr);

} // namespace markwell::formula
