#include "workbook/formula/AreaTotals.h"

namespace markwell::formula {

AreaTotals::AreaTotals(const sheet::Area& area, std::vector<double>& run)
    : m_oneRow(area.first.row == area.last.row), m_run(run) {
    m_run.clear();
}

void AreaTotals::endRun() {
    if (m_run.size() == 1) {
        m_columnSum.add(m_run.front()); // the same as adding a run of one
    } else if (!m_run.empty()) {
        m_columnSum.add(sumRun(m_run.data(), m_run.size()));
    }
    m_run.clear();
}

void AreaTotals::add(AreaCells block) {
    for (const AreaCell& c : block) {
        const sheet::Value& v = c.value;
        m_countA += 1;
        if (v.isNumber()) {
            m_count += 1;
        }
        if (m_error) {
            continue; // only the counts go on
        }
        if (v.isError()) {
            m_error = v.error();
            continue;
        }
        if (v.isNumber()) {
            const double x = v.number();
            if (m_count == 1 || x > m_max) {
                m_max = x;
            }
            if (m_count == 1 || x < m_min) {
                m_min = x;
            }
            if (m_oneRow) {
                // One cell a column: each column's sum is its one number, and the area's sum
                // takes them one by one, as AVERAGE does.
                m_areaSum.add(x);
                continue;
            }
            m_plainSum.add(x);
        }
        if (m_oneRow) {
            continue;
        }
        if (c.pos.col != m_column) {
            endRun();
            m_areaSum.add(m_columnSum);
            m_columnSum = CompensatedSum();
            m_column = c.pos.col;
        } else if (c.pos.row != m_lastRow + 1) {
            endRun();
        }
        m_lastRow = c.pos.row;
        if (v.isNumber() && !c.isFormula) {
            m_run.push_back(v.number());
            continue;
        }
        endRun();
        if (v.isNumber()) {
            m_columnSum.add(v.number());
        }
    }
}

void AreaTotals::finish() {
    if (!m_oneRow && !m_error) {
        endRun();
        m_areaSum.add(m_columnSum);
        m_columnSum = CompensatedSum();
    }
}

} // namespace markwell::formula
