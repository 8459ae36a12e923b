#include "workbook/host/EngineCalls.h"

#include "workbook/formula/Recalc.h"
#include "workbook/sheet/NumericText.h"
#include "workbook/sheet/Structure.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include <algorithm>

namespace markwell::engine {

sheet::Workbook readWorkbook(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    return xls::readXls(xls::ByteView(data, static_cast<size_t>(bytes.size()))).workbook;
}

void writeWorkbook(const sheet::Workbook& workbook, const std::function<void(std::span<const std::uint8_t>)>& sink) {
    xls::writeXls(workbook, sink);
}

sheet::Value valueOfText(const std::string& text) {
    return sheet::numericTextToValue(text);
}

void insertCopies(sheet::Workbook& workbook, int sheet, const sheet::Area& source, sheet::CellPos at, bool down,
                  int times) {
    if (down) {
        sheet::insertCopiedRows(workbook, sheet, source.first.row, source.last.row, at.row, times);
    } else {
        sheet::insertCopiedCells(workbook, sheet, source, at, times);
    }
}

void deleteRows(sheet::Workbook& workbook, int sheet, int firstRow, int lastRow) {
    sheet::deleteRows(workbook, sheet, firstRow, lastRow);
}

void setPrintArea(sheet::Workbook& workbook, int sheet, const sheet::Area& area) {
    const formula::NodePtr refersTo =
        formula::makeArea(formula::RefCorner{area.first, true, true}, formula::RefCorner{area.last, true, true}, sheet);
    for (sheet::DefinedName& name : workbook.names) {
        if (name.builtin && name.scopeSheet == sheet && sheet::equalsIgnoringCase(name.name, "Print_Area")) {
            name.refersTo = refersTo;
            return;
        }
    }
    workbook.names.push_back(sheet::DefinedName{"Print_Area", sheet, refersTo, true});
}

void recalculate(sheet::Workbook& workbook) {
    formula::recalculate(workbook);
}

std::optional<sheet::Area> usedArea(const sheet::Sheet& sheet) {
    std::optional<sheet::Area> used;
    const auto& rows = sheet.rows();
    for (size_t r = 0; r < rows.size(); ++r) {
        const auto& cells = rows[r].cells;
        int first = -1;
        int last = -1;
        for (size_t c = 0; c < cells.size(); ++c) {
            if (!cells[c].isBlank()) {
                first = first < 0 ? static_cast<int>(c) : first;
                last = static_cast<int>(c);
            }
        }
        if (first < 0) {
            continue;
        }
        const int row = static_cast<int>(r);
        if (!used) {
            used = sheet::Area{{row, first}, {row, last}};
        } else {
            used->first.col = std::min(used->first.col, first);
            used->last.col = std::max(used->last.col, last);
            used->last.row = row;
        }
    }
    return used;
}

} // namespace markwell::engine
