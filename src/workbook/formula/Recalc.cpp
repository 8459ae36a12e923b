#include "workbook/formula/Recalc.h"

#include "workbook/formula/Evaluator.h"
#include "workbook/sheet/Workbook.h"

#include <algorithm>
#include <cstdint>
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
    // that column, and one after another they find it in the visit kept by forEach.
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

    static constexpr int kRowsAhead = 8;
    static void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(address);
#else
        (void)address;
#endif
    }

    void forEach(int sheetIndex, const Area& area, const CellVisitor& visit) override {
        if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= m_workbook.sheets.size()) {
            return;
        }
        if (sheetIndex == m_keptSheet && area == m_keptArea) {
            for (const Visit& v : m_kept) {
                visit(v.pos, v.value, v.isFormula);
            }
            return;
        }
        // An area of several rows is kept as visited when every formula in it is computed: its
        // cells no longer change, and the next formula reading it (the summaries of one column
        // read it several times) goes through the kept list instead of every row again.
        const bool keep = area.first.row != area.last.row;
        bool settled = true;
        if (keep) {
            m_keptSheet = -1;
            m_kept.clear();
        }
        const auto& rows = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows();
        const auto& states = m_state[static_cast<std::size_t>(sheetIndex)];
        const int firstRow = std::max(area.first.row, 0);
        const int lastRow = std::min(area.last.row, static_cast<int>(rows.size()) - 1);
        const int lastCol = std::min(area.last.col, columnsToVisit(rows, area, firstRow, lastRow) - 1);
        for (int c = std::max(area.first.col, 0); c <= lastCol; ++c) {
            const auto col = static_cast<std::size_t>(c);
            for (int r = firstRow; r <= lastRow; ++r) {
                const auto row = static_cast<std::size_t>(r);
                // Down a column every row's cells lie elsewhere in memory: ask for the cells a few
                // rows ahead while this one is read.
                if (r + kRowsAhead <= lastRow) {
                    const auto ahead = row + static_cast<std::size_t>(kRowsAhead);
                    if (col < rows[ahead].cells.size()) {
                        prefetch(rows[ahead].cells.data() + col);
                    }
                    if (col < states[ahead].size()) {
                        prefetch(states[ahead].data() + col);
                    }
                }
                const auto& cells = rows[row].cells;
                if (col >= cells.size()) {
                    continue;
                }
                const Value& v = cells[col].value;
                if (!states[row].empty() && states[row][col] != kNone) {
                    settled = settled && (states[row][col] & 0x0F) == kDone;
                    const Value current = read(sheetIndex, r, c, v);
                    if (!current.isEmpty()) {
                        if (keep) {
                            m_kept.push_back(Visit{CellPos{r, c}, current, true});
                        }
                        visit(CellPos{r, c}, current, true);
                    }
                } else if (!v.isEmpty()) {
                    if (keep) {
                        m_kept.push_back(Visit{CellPos{r, c}, v, false});
                    }
                    visit(CellPos{r, c}, v, false);
                }
            }
        }
        if (keep && settled) {
            m_keptSheet = sheetIndex;
            m_keptArea = area;
        }
    }

private:
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

    struct Visit {
        CellPos pos;
        Value value;
        bool isFormula;
    };

    sheet::Workbook& m_workbook;
    std::vector<std::vector<std::vector<std::uint8_t>>> m_state; // sheet, row, column
    // The visit of the last area of several rows whose cells were all settled.
    int m_keptSheet = -1;
    Area m_keptArea;
    std::vector<Visit> m_kept;
    std::vector<Frame> m_stack;
    std::vector<Frame> m_missing;
};

} // namespace

void recalculate(sheet::Workbook& workbook) {
    Recalculation recalculation(workbook);
    recalculation.run();
}

} // namespace markwell::formula
