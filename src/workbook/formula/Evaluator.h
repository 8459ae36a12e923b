#pragma once

#include "workbook/formula/Ast.h"
#include "workbook/sheet/CellRef.h"
#include "workbook/sheet/Sheet.h"
#include "workbook/sheet/Value.h"

#include <functional>
#include <span>
#include <vector>

namespace markwell::sheet {
class Workbook;
}

namespace markwell::formula {

// One cell of an area that holds something: its place, its value and whether that value is a
// formula's result.
struct AreaCell {
    sheet::CellPos pos;
    sheet::Value value;
    bool isFormula = false;
};
using AreaCells = std::span<const AreaCell>;
// Takes an area's cells a block at a time, the blocks in visiting order.
using AreaBlockVisitor = std::function<void(AreaCells)>;

// Where the evaluator reads cell values. Recalculation supplies one that computes formula cells
// on demand; CachedValues reads what the cells hold.
class CellSource {
public:
    virtual ~CellSource() = default;
    // The value of one cell; Empty for a cell that holds nothing.
    virtual sheet::Value value(int sheet, sheet::CellPos pos) = 0;
    // Visits the cells of an area that hold something, column by column and each column from
    // the top: the order in which sums and averages accumulate their numbers. They come in
    // blocks, so that a sum runs as a plain loop over each; `visit` reads no cells of its own.
    virtual void forEachBlock(int sheet, const sheet::Area& area, const AreaBlockVisitor& visit) = 0;

    // Results of functions of one whole area (SUM(B2:B40), MAX(B2:B40) ...), kept while the
    // area's cells cannot change: the same function of the same area is not computed again.
    // `slot` tells the functions apart, below kResultSlots. A source keeps none unless it says
    // otherwise.
    static constexpr int kResultSlots = 6;
    virtual const sheet::Value* keptResult(int /*sheet*/, const sheet::Area& /*area*/, int /*slot*/) { return nullptr; }
    virtual void keepResult(int /*sheet*/, const sheet::Area& /*area*/, int /*slot*/, const sheet::Value& /*result*/) {}

    // The same visit a cell at a time.
    template <typename Fn> void forEach(int sheet, const sheet::Area& area, Fn&& visit) {
        forEachBlock(sheet, area, [&visit](AreaCells block) {
            for (const AreaCell& c : block) {
                visit(c);
            }
        });
    }
};

// For CellSource implementations: how many columns of the rows firstRow..lastRow an area's visit
// must look at. A one-column area needs no look at the rows; a wider one goes as far as its
// widest row.
int columnsToVisit(const std::vector<sheet::Row>& rows, const sheet::Area& area, int firstRow, int lastRow);

// Reads the values the workbook's cells hold (cached results for formulas).
class CachedValues : public CellSource {
public:
    explicit CachedValues(const sheet::Workbook& workbook) : m_workbook(workbook) {}
    sheet::Value value(int sheet, sheet::CellPos pos) override;
    void forEachBlock(int sheet, const sheet::Area& area, const AreaBlockVisitor& visit) override;

private:
    const sheet::Workbook& m_workbook;
};

struct EvalContext {
    const sheet::Workbook* workbook = nullptr; // for defined names; none: every name is #NAME?
    CellSource* cells = nullptr;
    int sheet = 0;       // the sheet of the formula's cell
    sheet::CellPos cell; // the formula's cell, for implicit intersection
};

// Evaluates a formula with the rules spreadsheet programs apply. The result is never Empty: a
// formula that yields an empty cell gives 0.
sheet::Value evaluate(const NodePtr& root, const EvalContext& context);

// ROUND: half away from zero to the given number of decimals (negative: tens, hundreds ...).
// The scaled value is rounded as a 15-digit decimal, so ROUND(0.895, 2) is 0.9 although 0.895 *
// 100 is 89.49999999999999; to a whole number (0 digits) the value is rounded as it is, so
// ROUND(2.4999999999999996, 0) is 2. Values that have no digits at that place (whole numbers,
// numbers from 2^52 on, decimals beyond a double's precision) come back exactly as they are.
double roundHalfAway(double value, int digits);

// The longest text a formula may produce, in UTF-16 code units; a longer result is #VALUE!.
inline constexpr std::size_t kMaxTextLength = 32767;

} // namespace markwell::formula
