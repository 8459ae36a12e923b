#pragma once

#include "workbook/formula/Ast.h"

#include <cstddef>
#include <unordered_map>

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
    struct Key {
        const formula::Node* node; // its fields, with its arguments already the pool's
        bool operator==(const Key& other) const { return same(*node, *other.node); }
    };
    struct Hash {
        std::size_t operator()(const Key& k) const;
    };
    using Table = std::unordered_map<Key, formula::NodePtr, Hash>;

    static bool same(const formula::Node& x, const formula::Node& y);

    static constexpr std::size_t kMaxFixed = 4096;
    static constexpr std::size_t kRowBuckets = 64;
    Table m_fixed; // parts without relative references
    Table m_ofRow; // parts with them, of the row m_row
    int m_row = -1;
};

} // namespace markwell::xls
