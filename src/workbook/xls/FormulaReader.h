#pragma once

#include "ByteIO.h"
#include "Globals.h"

#include "workbook/formula/Ast.h"

#include <memory>
#include <string>
#include <vector>

namespace markwell::xls {

class FormulaPool;

// What token decoding needs from the rest of the workbook.
struct FormulaReadContext {
    const Globals* globals = nullptr;
    std::vector<int> sheetOfBoundSheet; // BOUNDSHEET index -> model sheet index, -1 when skipped
    int row = 0, col = 0;               // the cell, for shared formula offsets (ptgRefN/ptgAreaN)
    bool forName = false;               // a defined name: 3-D references carry their sheet
    bool sharedFormula = false;         // SHRFMLA tokens: relative 3-D parts are offsets too
    FormulaPool* pool = nullptr;        // when set, the tree is made of the pool's nodes
};

// Turns BIFF8 formula tokens into an expression tree. Garbage never crashes: anything we cannot
// make sense of raises XlsError, and the caller keeps the cell's cached value instead.
std::shared_ptr<const formula::Node> decodeFormula(ByteView rgce, const FormulaReadContext& context);

} // namespace markwell::xls
