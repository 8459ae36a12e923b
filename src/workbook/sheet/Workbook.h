#pragma once

#include "workbook/formula/Ast.h"
#include "workbook/sheet/Format.h"
#include "workbook/sheet/Sheet.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace markwell::sheet {

struct DefinedName {
    std::string name;
    int scopeSheet = -1;       // -1: the whole workbook, else the sheet it belongs to
    formula::NodePtr refersTo; // references carry their sheet index
    bool builtin = false;      // Print_Area, Print_Titles, ... stored under their plain names
};

class Workbook {
public:
    Workbook();

    std::vector<Sheet> sheets;
    std::vector<CellFormat> formats; // index 0 is the default format
    std::vector<DefinedName> names;
    int activeSheet = 0;
    bool date1904 = false;
    // The stored result of every formula is what this engine computes from the cells: the
    // workbook was recalculated by it and not changed since. A file written with this mark is
    // read back without a recalculation; any other is recalculated before its results are used.
    bool resultsCurrent = false;

    // The index of the format, added when it is not in the table yet.
    std::uint32_t addFormat(const CellFormat& format);

    // The sheet of that name (case-insensitive), or -1.
    int sheetIndex(std::string_view sheetName) const;

    // The name visible from a sheet: one scoped to the sheet wins over a workbook-level one.
    // Case-insensitive; null when there is none.
    const DefinedName* findName(std::string_view nameText, int fromSheet) const;
};

// ASCII upper-casing, for the case-insensitive comparisons of names.
std::string upperAscii(std::string_view text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace markwell::sheet
