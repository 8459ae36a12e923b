#include "workbook/formula/Recalc.h"

#include "workbook/formula/Evaluator.h"
#include "workbook/sheet/Workbook.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace markwell::formula {

namespace {

using sheet::Area;
using sheet::CellPos;
using sheet::Value;

// Progress of one formula cell.
enum State : std::uint8_t {
    kNone = 0,    // not a formula
    kPending = 1, // not evaluated yet
    kStarted = 2, // being evaluated: its frame is on the stack, waiting for cells it reads
    kDone = 3,
    kCyclic = 0x10, // flag: the cell is part of a loop
};

struct Frame {
    int sheet;
    int row;
    int col;
};

class Recalculation : public CellSource {
public:
    explicit Recalculation(sheet::Workbook& workbook) : m_workbook(workbook) {
        m_state.resize(workbook.sheets.size());
        for (std::size_t s = 0; s < workbook.sheets.size(); ++s) {
            const auto& rows = workbook.sheets[s].rows();
            auto& sheetState = m_state[s];
            sheetState.resize(rows.size());
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const auto& cells = rows[r].cells;
                for (std::size_t c = 0; c < cells.size(); ++c) {
                    if (cells[c].formula) {
                        if (sheetState[r].empty()) {
                            sheetState[r].assign(cells.size(), kNone);
                        }
                        sheetState[r][c] = kPending;
                    }
                }
            }
        }
    }

    // Formula cells are computed column by column: the summary formulas under a column all read
    // that column, and one after another they find it in the visit kept by forEachBlock.
    void run() {
        std::vector<Frame> order;
        for (std::size_t s = 0; s < m_state.size(); ++s) {
            for (std::size_t r = 0; r < m_state[s].size(); ++r) {
                for (std::size_t c = 0; c < m_state[s][r].size(); ++c) {
                    if (m_state[s][r][c] == kPending) {
                        order.push_back(Frame{static_cast<int>(s), static_cast<int>(r), static_cast<int>(c)});
                    }
                }
            }
        }
        std::stable_sort(order.begin(), order.end(), [](const Frame& a, const Frame& b) {
            return a.sheet != b.sheet ? a.sheet < b.sheet : a.col < b.col;
        });
        for (const Frame& f : order) {
            if (state(f.sheet, f.row, f.col) == kPending) {
                m_stack.push_back(f);
                drain();
            }
        }
    }

    Value value(int sheetIndex, CellPos pos) override {
        if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= m_workbook.sheets.size()) {
            return sheet::ErrorCode::Ref;
        }
        const auto& rows = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows();
        if (pos.row < 0 || pos.col < 0 || static_cast<std::size_t>(pos.row) >= rows.size()) {
            return Value{};
        }
        const auto& cells = rows[static_cast<std::size_t>(pos.row)].cells;
        if (static_cast<std::size_t>(pos.col) >= cells.size()) {
            return Value{};
        }
        return read(sheetIndex, pos.row, pos.col, cells[static_cast<std::size_t>(pos.col)].value);
    }

    static constexpr std::size_t kRowsAhead = 8;
    static void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(address);
#else
        (void)address;
#endif
    }

    void forEachBlock(int sheetIndex, const Area& area, const AreaBlockVisitor& visit) override {
        if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= m_workbook.sheets.size()) {
            return;
        }
        const std::vector<AreaCell>* cells = nullptr;
        if (m_last.holds(sheetIndex, area)) {
            cells = &m_last.cells;
        }
        for (KeptVisit& k : m_band) {
            if (!cells && k.holds(sheetIndex, area) && settle(k)) {
                cells = &k.cells;
            }
        }
        if (!cells) {
            cells = &collect(sheetIndex, area);
        }
        if (!cells->empty()) {
            visit(*cells);
        }
    }

    const Value* keptResult(int sheetIndex, const Area& area, int slot) override {
        const KeptVisit* k = keptVisit(sheetIndex, area);
        return k && k->results[static_cast<std::size_t>(slot)] ? &*k->results[static_cast<std::size_t>(slot)] : nullptr;
    }
    void keepResult(int sheetIndex, const Area& area, int slot, const Value& result) override {
        if (KeptVisit* k = keptVisit(sheetIndex, area)) {
            k->results[static_cast<std::size_t>(slot)] = result;
        }
    }

private:
    // A visit kept for the formulas that read the same area again (a row's total and its
    // average, the summaries under a column). It is kept only when every formula cell in the area
    // was computed: those cells no longer change.
    struct KeptVisit {
        int sheet = -1; // none kept
        Area area;
        std::vector<AreaCell> cells;
        // Formula cells among `cells` not computed when the visit was made (m_band only): their
        // places, their values to be read once they are.
        std::vector<std::size_t> unsettled;
        // Results of functions of the whole area (CellSource::keepResult).
        std::array<std::optional<Value>, kResultSlots> results;
        bool holds(int s, const Area& a) const { return sheet == s && area == a; }
        void reset(int s, const Area& a) {
            sheet = s;
            area = a;
            results = {};
        }
    };

    // The visit kept of an area whose cells are all settled, or null.
    KeptVisit* keptVisit(int sheetIndex, const Area& area) {
        if (m_last.holds(sheetIndex, area)) {
            return &m_last;
        }
        for (KeptVisit& k : m_band) {
            if (k.holds(sheetIndex, area) && k.unsettled.empty()) {
                return &k;
            }
        }
        return nullptr;
    }

    // A kept band column whose formula cells are all computed by now gets their results; false
    // when one is still waiting, and the area must be visited again.
    bool settle(KeptVisit& k) {
        const auto& rows = m_workbook.sheets[static_cast<std::size_t>(k.sheet)].rows();
        for (const std::size_t i : k.unsettled) {
            AreaCell& c = k.cells[i];
            const Value& v = rows[static_cast<std::size_t>(c.pos.row)].cells[static_cast<std::size_t>(c.pos.col)].value;
            if ((state(k.sheet, c.pos.row, c.pos.col) & 0x0F) != kDone || v.isEmpty()) {
                k.sheet = -1;
                return false;
            }
            c.value = v;
        }
        k.unsettled.clear();
        return true;
    }

    // The cells of a column area are visited for the columns to its right in the same sweep, when
    // it is this tall: each row's cells are then read together instead of once per column.
    static constexpr int kBandRows = 64;
    static constexpr int kBandColumns = 16;

    // Visits the area's cells into m_last.
    const std::vector<AreaCell>& collect(int sheetIndex, const Area& area) {
        std::vector<AreaCell>& found = m_last.cells;
        m_last.sheet = -1;
        found.clear();
        bool settled = true;
        const auto& rows = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows();
        const auto take = [&](int r, int c, const Value& v, std::uint8_t st) {
            if (st != kNone) {
                settled = settled && (st & 0x0F) == kDone;
                Value current = read(sheetIndex, r, c, v);
                if (!current.isEmpty()) {
                    found.push_back(AreaCell{CellPos{r, c}, std::move(current), true});
                }
            } else if (!v.isEmpty()) {
                found.push_back(AreaCell{CellPos{r, c}, v, false});
            }
        };
        const int firstRow = std::max(area.first.row, 0);
        const int lastRow = std::min(area.last.row, static_cast<int>(rows.size()) - 1);
        const int firstCol = std::max(area.first.col, 0);
        if (firstRow == lastRow) {
            const auto row = static_cast<std::size_t>(firstRow);
            const auto& cells = rows[row].cells;
            const int lastCol = std::min(area.last.col, static_cast<int>(cells.size()) - 1);
            for (int c = firstCol; c <= lastCol; ++c) {
                const auto col = static_cast<std::size_t>(c);
                take(firstRow, c, cells[col].value, stateOf(sheetIndex, row, col));
            }
        } else if (area.first.col == area.last.col && firstCol == area.first.col && lastRow - firstRow >= kBandRows) {
            collectBand(sheetIndex, area, firstRow, lastRow, take);
        } else {
            const int lastCol = std::min(area.last.col, columnsToVisit(rows, area, firstRow, lastRow) - 1);
            for (int c = firstCol; c <= lastCol; ++c) {
                const auto col = static_cast<std::size_t>(c);
                for (int r = firstRow; r <= lastRow; ++r) {
                    const auto row = static_cast<std::size_t>(r);
                    // Down a column every row's cells lie elsewhere in memory: ask for the cells
                    // a few rows ahead while this one is read.
                    if (row + kRowsAhead <= static_cast<std::size_t>(lastRow)) {
                        prefetchRow(sheetIndex, row + kRowsAhead, col, 1);
                    }
                    const auto& cells = rows[row].cells;
                    if (col < cells.size()) {
                        take(r, c, cells[col].value, stateOf(sheetIndex, row, col));
                    }
                }
            }
        }
        if (settled) {
            m_last.reset(sheetIndex, area);
        }
        return found;
    }

    // The visit of a tall one-column area, row by row; the same rows of the columns to its right
    // go to m_band. Those are only looked at: a formula there not computed yet is no cell the
    // formula being evaluated waits for, it is noted and its result read when the column is
    // visited (settle).
    template <typename Take>
    void collectBand(int sheetIndex, const Area& area, int firstRow, int lastRow, const Take& take) {
        const auto& rows = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows();
        const auto first = static_cast<std::size_t>(area.first.col);
        m_band.resize(kBandColumns - 1);
        for (KeptVisit& k : m_band) {
            k.sheet = -1;
            k.cells.clear();
            k.cells.reserve(static_cast<std::size_t>(lastRow - firstRow + 1));
            k.unsettled.clear();
        }
        // A stretch of rows at a time: the requested column down the stretch, which brings the
        // stretch's cells of the band into the cache, then each other column down it, so that
        // every list grows in one run.
        constexpr int kStretch = 64;
        for (int top = firstRow; top <= lastRow; top += kStretch) {
            const int bottom = std::min(lastRow, top + kStretch - 1);
            for (int r = top; r <= bottom; ++r) {
                const auto row = static_cast<std::size_t>(r);
                if (row + kRowsAhead <= static_cast<std::size_t>(lastRow)) {
                    prefetchRow(sheetIndex, row + kRowsAhead, first, kBandColumns);
                }
                const auto& cells = rows[row].cells;
                if (first < cells.size()) {
                    take(r, area.first.col, cells[first].value, stateOf(sheetIndex, row, first));
                }
            }
            for (std::size_t col = first + 1; col < first + kBandColumns; ++col) {
                KeptVisit& k = m_band[col - first - 1];
                for (int r = top; r <= bottom; ++r) {
                    const auto row = static_cast<std::size_t>(r);
                    const auto& cells = rows[row].cells;
                    if (col >= cells.size()) {
                        continue;
                    }
                    const Value& v = cells[col].value;
                    const std::uint8_t st = stateOf(sheetIndex, row, col);
                    if (st != kNone && (st & 0x0F) != kDone) {
                        k.unsettled.push_back(k.cells.size());
                        k.cells.push_back(AreaCell{CellPos{r, static_cast<int>(col)}, Value{}, true});
                    } else if (!v.isEmpty()) {
                        k.cells.push_back(AreaCell{CellPos{r, static_cast<int>(col)}, v, st != kNone});
                    }
                }
            }
        }
        for (std::size_t k = 0; k < m_band.size(); ++k) {
            const int col = area.first.col + static_cast<int>(k) + 1;
            m_band[k].reset(sheetIndex, Area{CellPos{area.first.row, col}, CellPos{area.last.row, col}});
        }
    }

    // A cell's progress; kNone for one of a row without formulas.
    std::uint8_t stateOf(int sheetIndex, std::size_t row, std::size_t col) const {
        const auto& rowStates = m_state[static_cast<std::size_t>(sheetIndex)][row];
        return rowStates.empty() ? std::uint8_t{kNone} : rowStates[col];
    }

    // Asks for `count` cells of a row from `col` on, and their states.
    void prefetchRow(int sheetIndex, std::size_t row, std::size_t col, std::size_t count) const {
        const auto& cells = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows()[row].cells;
        const auto& rowStates = m_state[static_cast<std::size_t>(sheetIndex)][row];
        const std::size_t end = std::min(cells.size(), col + count);
        constexpr std::size_t kCellsPerLine = 2; // 32-byte cells, 64-byte cache lines
        for (std::size_t c = col; c < end; c += kCellsPerLine) {
            prefetch(cells.data() + c);
        }
        if (col < rowStates.size()) {
            prefetch(rowStates.data() + col);
        }
    }

    std::uint8_t& state(int s, int r, int c) {
        return m_state[static_cast<std::size_t>(s)][static_cast<std::size_t>(r)][static_cast<std::size_t>(c)];
    }

    // The value of a cell while a formula is being evaluated. A formula cell not yet computed is
    // noted as missing (the reader is evaluated again once it is done); one on the current chain
    // of evaluation closes a loop.
    Value read(int s, int r, int c, const Value& stored) {
        const auto& rowStates = m_state[static_cast<std::size_t>(s)][static_cast<std::size_t>(r)];
        if (rowStates.empty()) {
            return stored;
        }
        const std::uint8_t st = rowStates[static_cast<std::size_t>(c)];
        switch (st & 0x0F) {
        case kNone:
        case kDone:
            return stored;
        case kPending:
            m_missing.push_back(Frame{s, r, c});
            return Value{};
        case kStarted:
        default:
            markCycle(s, r, c);
            return sheet::ErrorCode::Value;
        }
    }

    // Every started frame from the top of the stack down to the cell read belongs to the loop.
    void markCycle(int s, int r, int c) {
        for (std::size_t i = m_stack.size(); i-- > 0;) {
            const Frame& f = m_stack[i];
            std::uint8_t& st = state(f.sheet, f.row, f.col);
            if ((st & 0x0F) != kStarted) {
                continue;
            }
            st |= kCyclic;
            if (f.sheet == s && f.row == r && f.col == c) {
                break;
            }
        }
    }

    void drain() {
        while (!m_stack.empty()) {
            const Frame f = m_stack.back();
            std::uint8_t& st = state(f.sheet, f.row, f.col);
            if ((st & 0x0F) == kDone) {
                m_stack.pop_back();
                continue;
            }
            st = static_cast<std::uint8_t>((st & kCyclic) | kStarted);
            sheet::Sheet& sh = m_workbook.sheets[static_cast<std::size_t>(f.sheet)];
            sheet::Cell& cell = sh.rows()[static_cast<std::size_t>(f.row)].cells[static_cast<std::size_t>(f.col)];
            m_missing.clear();
            EvalContext ctx;
            ctx.workbook = &m_workbook;
            ctx.cells = this;
            ctx.sheet = f.sheet;
            ctx.cell = CellPos{f.row, f.col};
            Value result = evaluate(cell.formula, ctx);
            // `st` may have gained the loop flag while evaluating.
            std::uint8_t& now = state(f.sheet, f.row, f.col);
            if (!m_missing.empty()) {
                for (const Frame& dep : m_missing) {
                    m_stack.push_back(dep);
                }
                continue;
            }
            cell.value = (now & kCyclic) ? Value(sheet::ErrorCode::Value) : std::move(result);
            now = kDone;
            m_stack.pop_back();
        }
    }

    sheet::Workbook& m_workbook;
    std::vector<std::vector<std::vector<std::uint8_t>>> m_state; // sheet, row, column
    KeptVisit m_last;                                            // the last area visited
    std::vector<KeptVisit> m_band;                               // columns visited with the last tall column
    std::vector<Frame> m_stack;
    std::vector<Frame> m_missing;
};

} // namespace

void recalculate(sheet::Workbook& workbook) {
    Recalculation recalculation(workbook);
    recalculation.run();
}

} // namespace markwell::formula
