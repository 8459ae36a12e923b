#pragma once

#include "workbook/formula/Evaluator.h"
#include "workbook/formula/Sum.h"

#include <optional>
#include <vector>

namespace markwell::formula {

// What SUM, COUNT, COUNTA, AVERAGE, MAX and MIN take from the cells of one area, gathered in a
// single visit (the blocks of CellSource::forEachBlock, in order).
//
// SUM adds the numbers the way LibreOffice's SUM does, so the total is the same to the last bit:
// column by column, each column's adjacent numeric constants added as one run (sumRun), formula
// results one by one; the column's sum then joins the area's. An area of one row adds its
// numbers one by one. Texts, booleans and empty cells are skipped and end a run.
//
// AVERAGE adds every number one after another; COUNT counts the numbers, COUNTA every cell that
// holds something. The first error met (by columns) is the result of all but the counts.
class AreaTotals {
public:
    // `run` is room for a run of numbers, lent by the caller so that it is not taken anew for
    // every area.
    AreaTotals(const sheet::Area& area, std::vector<double>& run);

    void add(AreaCells block);
    // Ends the visit: the sums are complete.
    void finish();

    const std::optional<sheet::ErrorCode>& error() const { return m_error; }
    // The area's part of a SUM, to be added to the function's running sum.
    const CompensatedSum& sum() const { return m_areaSum; }
    // AVERAGE's sum of the numbers, one after another.
    const CompensatedSum& plainSum() const { return m_oneRow ? m_areaSum : m_plainSum; }
    double count() const { return m_count; }
    double countA() const { return m_countA; }
    bool hasNumbers() const { return m_count > 0; }
    double max() const { return m_max; }
    double min() const { return m_min; }

private:
    void endRun();

    bool m_oneRow;
    std::vector<double>& m_run; // the numeric constants of the current run
    CompensatedSum m_areaSum, m_columnSum, m_plainSum;
    int m_column = -1, m_lastRow = -2;
    double m_count = 0, m_countA = 0, m_max = 0, m_min = 0;
    std::optional<sheet::ErrorCode> m_error;
};

} // namespace markwell::formula
