#pragma once

#include "workbook/formula/Ast.h"

#include <cstddef>
#include <vector>

namespace markwell::xls {

// Makes the formulas read from one sheet share their identical parts: the constants and
// absolute references every row's formula repeats, an area summed twice in one formula, the
// condition two neighbouring formulas test. A filled gradebook's formula cells then take less
// than half the nodes. Trees are immutable, so sharing is invisible to everything reading them.
//
// The formula reader hands each node over as it is made, its arguments already the pool's, so
// that no tree is walked or copied a second time. Parts without relative references are kept for
// the whole sheet (up to a bound); parts with them only while the formulas of one row are read,
// since another row's are not the same. Both tables stay small enough to be fast.
class FormulaPool {
public:
    // A formula of a cell in `row` is about to be read.
    void startFormula(int row);
    // The pool's node equal to `node`, or `node` itself, kept from now on, when there is none.
    // Its arguments must be the pool's; `relative` says whether it or a part of it is a
    // relative reference.
    formula::NodePtr add(formula::NodePtr node, bool relative);

    // Whether the node itself is a reference that moves with its cell.
    static bool isRelativeRef(const formula::Node& n);

private:
    // The nodes by their fields (their arguments already the pool's): open addressing over a
    // power-of-two number of slots, so that a lookup takes no division and an entry no allocation.
    class Table {
    public:
        // The table's node equal to `node`, or `node`, then kept.
        formula::NodePtr intern(formula::NodePtr node);
        std::size_t size() const { return m_size; }
        std::size_t slots() const { return m_slots.size(); }
        void clear();

    private:
        struct Slot {
            std::size_t hash = 0;
            formula::NodePtr node;
        };
        Slot& slotFor(std::size_t hash, const formula::Node& node);
        void grow();

        std::vector<Slot> m_slots;
        int m_shift = 64; // a hash's slot: its top bits, after mixing
        std::size_t m_size = 0;
    };

    static std::size_t hash(const formula::Node& n);
    static bool same(const formula::Node& x, const formula::Node& y);

    static constexpr std::size_t kMaxFixed = 4096;
    static constexpr std::size_t kRowSlots = 64;
    Table m_fixed; // parts without relative references
    Table m_ofRow; // parts with them, of the row m_row
    int m_row = -1;
};

} // namespace markwell::xls
