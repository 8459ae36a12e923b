#include "FilledTemplate.h"

#include "gradebook/template/TemplateWorkbook.h"
#include "workbook/formula/Recalc.h"
#include "workbook/sheet/Structure.h"

#include <stdexcept>

namespace markwell::test {

sheet::Workbook filledTemplate(const std::vector<TestColumn>& tests, const std::vector<StudentRow>& students) {
    sheet::Workbook wb = gradetemplate::buildTemplateWorkbook();
    const int t = static_cast<int>(tests.size());
    const int s = static_cast<int>(students.size());
    if (t > 5) {
        sheet::insertCopiedCells(wb, 0, *sheet::parseArea("J6:J19"), sheet::parseA1("J6")->pos, t - 5);
    }
    const int m = s % 2 == 0 ? s : s + 1;
    if (m / 2 - 1 > 0) {
        sheet::insertCopiedRows(wb, 0, 12, 13, 12, m / 2 - 1);
    }
    if (s % 2 == 1) {
        sheet::deleteRows(wb, 0, 11 + m, 11 + m); // row 12 + m as the sheet numbers it
    }
    sheet::Sheet& sh = wb.sheets.front();
    for (int i = 0; i < t; ++i) {
        sh.cellAt(5, 6 + i).value = sheet::Value(tests[static_cast<std::size_t>(i)].name);
        if (const auto& p = tests[static_cast<std::size_t>(i)].possible) {
            sh.cellAt(6, 6 + i).value = sheet::Value(*p);
        }
    }
    for (int i = 0; i < s; ++i) {
        const StudentRow& st = students[static_cast<std::size_t>(i)];
        const int row = 12 + i;
        sh.cellAt(row, 1).value = sheet::Value(st.name);
        sh.cellAt(row, 2).value = sheet::Value(st.id);
        for (std::size_t k = 0; k < st.points.size(); ++k) {
            if (st.points[k]) {
                sh.cellAt(row, 6 + static_cast<int>(k)).value = sheet::Value(*st.points[k]);
            }
        }
    }
    formula::recalculate(wb);
    return wb;
}

const sheet::Cell* cellOf(const sheet::Workbook& workbook, const char* a1) {
    const auto ref = sheet::parseA1(a1);
    if (!ref) {
        throw std::invalid_argument(std::string("bad cell address in a test: ") + a1);
    }
    return workbook.sheets.front().cell(ref->pos.row, ref->pos.col);
}

sheet::Value valueOf(const sheet::Workbook& workbook, const char* a1) {
    const sheet::Cell* c = cellOf(workbook, a1);
    return c ? c->value : sheet::Value();
}

sheet::Value valueAt(const sheet::Workbook& workbook, int row1, int col0) {
    const sheet::Cell* c = workbook.sheets.front().cell(row1 - 1, col0);
    return c ? c->value : sheet::Value();
}

} // namespace markwell::test
