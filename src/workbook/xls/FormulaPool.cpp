#include "FormulaPool.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <utility>

namespace markwell::xls {

using formula::Node;
using formula::NodeKind;
using formula::NodePtr;

bool FormulaPool::same(const Node& x, const Node& y) {
    // Arguments compare by identity: they are the pool's own nodes. Numbers compare by their
    // bits, so that 0 and -0 stay apart.
    return x.kind == y.kind && std::bit_cast<std::uint64_t>(x.number) == std::bit_cast<std::uint64_t>(y.number) &&
           x.boolean == y.boolean && x.error == y.error && x.text == y.text && x.first == y.first && x.last == y.last &&
           x.sheet == y.sheet && x.unaryOp == y.unaryOp && x.binaryOp == y.binaryOp && x.args == y.args;
}

std::size_t FormulaPool::hash(const Node& n) {
    std::size_t h = static_cast<std::size_t>(n.kind);
    const auto mix = [&h](std::size_t v) { h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2); };
    mix(std::bit_cast<std::uint64_t>(n.number));
    if (!n.text.empty()) {
        mix(std::hash<std::string>()(n.text));
    }
    mix(static_cast<std::size_t>(n.first.pos.row) << 16 ^ static_cast<std::size_t>(n.first.pos.col));
    mix(static_cast<std::size_t>(n.last.pos.row) << 16 ^ static_cast<std::size_t>(n.last.pos.col));
    mix(static_cast<std::size_t>(n.sheet) ^ (static_cast<std::size_t>(n.binaryOp) << 8) ^
        (static_cast<std::size_t>(n.unaryOp) << 16) ^ (static_cast<std::size_t>(n.error) << 24) ^
        (static_cast<std::size_t>(n.first.rowAbs) << 32) ^ (static_cast<std::size_t>(n.first.colAbs) << 33) ^
        (static_cast<std::size_t>(n.last.rowAbs) << 34) ^ (static_cast<std::size_t>(n.last.colAbs) << 35) ^
        (static_cast<std::size_t>(n.boolean) << 36));
    for (const NodePtr& a : n.args) {
        mix(std::hash<const Node*>()(a.get()));
    }
    return h;
}

bool FormulaPool::isRelativeRef(const Node& n) {
    return (n.kind == NodeKind::Ref || n.kind == NodeKind::AreaRef) &&
           !(n.first.rowAbs && n.first.colAbs && n.last.rowAbs && n.last.colAbs);
}

void FormulaPool::startFormula(int row) {
    if (row != m_row) {
        // Clearing visits every slot: the many a header row of formulas made are let go, or
        // each following row would pay for them.
        if (m_ofRow.slots() > kRowSlots) {
            m_ofRow = Table();
        } else {
            m_ofRow.clear();
        }
        m_row = row;
    }
    if (m_fixed.size() > kMaxFixed) {
        m_fixed.clear();
    }
}

NodePtr FormulaPool::add(NodePtr node, bool relative) {
    return (relative ? m_ofRow : m_fixed).intern(std::move(node));
}

FormulaPool::Table::Slot& FormulaPool::Table::slotFor(std::size_t h, const Node& node) {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = (h * 0x9E3779B97F4A7C15ull) >> m_shift;; i = (i + 1) & mask) {
        Slot& s = m_slots[i];
        if (!s.node || (s.hash == h && same(*s.node, node))) {
            return s;
        }
    }
}

NodePtr FormulaPool::Table::intern(NodePtr node) {
    if (2 * (m_size + 1) > m_slots.size()) {
        grow(); // at most half full, so that probes stay short
    }
    const std::size_t h = hash(*node);
    Slot& s = slotFor(h, *node);
    if (s.node) {
        return s.node;
    }
    s.hash = h;
    s.node = std::move(node);
    ++m_size;
    return s.node;
}

void FormulaPool::Table::grow() {
    std::vector<Slot> old = std::exchange(m_slots, std::vector<Slot>(std::max<std::size_t>(16, 2 * m_slots.size())));
    m_shift = 64 - std::countr_zero(m_slots.size());
    for (Slot& s : old) {
        if (s.node) {
            const Node& node = *s.node;
            slotFor(s.hash, node) = std::move(s);
        }
    }
}

void FormulaPool::Table::clear() {
    if (m_size > 0) {
        for (Slot& s : m_slots) {
            s.node.reset();
        }
        m_size = 0;
    }
}

} // namespace markwell::xls
