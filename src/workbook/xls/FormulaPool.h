#pragma once

#include "workbook/formula/Ast.h"

#include <cstddef>
#include <unordered_map>
#include <vector>

namespace markwell::xls {

// Makes the formulas read from one sheet share their identical parts: the constants and
// absolute references every row's formula repeats, an area summed twice in one formula, the
// condition two neighbouring formulas test. A filled gradebook's formula cells then take less
// than half the nodes. Trees are immutable, so sharing is invisible to everything reading them.
//
// Parts without relative references are kept for the whole sheet (up to a bound); parts with
// them only while the formulas of one row are read, since another row's are not the same. Both
// tables stay small enough to be fast.
class FormulaPool {
public:
    // The tree made of the pool's nodes, adding the parts the pool does not have yet. `row` is
    // the row of the formula's cell.
    formula::NodePtr share(const formula::NodePtr& tree, int row);

private:
    struct Key {
        const formula::Node* node; // its fields, with its arguments already the pool's
        bool operator==(const Key& other) const { return same(*node, *other.node); }
    };
    struct Hash {
        std::size_t operator()(const Key& k) const;
    };
    using Table = std::unordered_map<Key, formula::NodePtr, Hash>;
    struct Done {
        formula::NodePtr node;
        bool relative; // it or a part of it is a relative reference
    };
    struct Step {
        const formula::NodePtr* node;
        std::size_t firstDone; // where its arguments' pooled nodes start in m_done
        bool expanded;
    };

    static bool same(const formula::Node& x, const formula::Node& y);
    static formula::NodePtr intern(Table& table, formula::NodePtr node);

    static constexpr std::size_t kMaxFixed = 4096;
    Table m_fixed; // parts without relative references
    Table m_ofRow; // parts with them, of the row m_row
    int m_row = -1;
    std::vector<Step> m_todo;
    std::vector<Done> m_done;
};

} // namespace markwell::xls
