#include "workbook/formula/RefShift.h"

#include <vector>

namespace markwell::formula {

namespace {

// Rebuilds the tree bottom-up, copying only the nodes on the path to a changed leaf. `leaf`
// gives the replacement of a reference node, or null to keep it.
template <typename Leaf> NodePtr rewrite(const NodePtr& n, const Leaf& leaf) {
    if (!n) {
        return n;
    }
    if (n->kind == NodeKind::Ref || n->kind == NodeKind::AreaRef) {
        NodePtr replaced = leaf(*n);
        return replaced ? replaced : n;
    }
    if (n->args.empty()) {
        return n;
    }
    std::vector<NodePtr> args;
    for (std::size_t i = 0; i < n->args.size(); ++i) {
        NodePtr child = rewrite(n->args[i], leaf);
        if (child != n->args[i] && args.empty()) {
            args.assign(n->args.begin(), n->args.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (!args.empty() || child != n->args[i]) {
            args.push_back(std::move(child));
        }
    }
    if (args.empty()) {
        return n;
    }
    auto copy = std::make_shared<Node>(*n);
    copy->args = std::move(args);
    return copy;
}

NodePtr errorFor(const Node& n) {
    return n.kind == NodeKind::Ref ? makeRefError(n.sheet) : makeAreaError(n.sheet);
}

NodePtr withArea(const Node& n, int firstRow, int firstCol, int lastRow, int lastCol) {
    auto copy = std::make_shared<Node>(n);
    copy->first.pos = sheet::CellPos{firstRow, firstCol};
    copy->last.pos = n.kind == NodeKind::Ref ? copy->first.pos : sheet::CellPos{lastRow, lastCol};
    return copy;
}

} // namespace

bool shiftInterval(int& first, int& last, bool isInsert, int at, int count, int limit) {
    if (count <= 0) {
        return true;
    }
    if (isInsert) {
        if (last < at) {
            return true;
        }
        if (first >= at) {
            if (first + count >= limit) {
                return false;
            }
            first += count;
        }
        last = std::min(last + count, limit - 1);
        return true;
    }
    const int deletedLast = at + count - 1;
    if (last < at) {
        return true;
    }
    if (first >= at && last <= deletedLast) {
        return false;
    }
    const int newFirst = first < at ? first : (first > deletedLast ? first - count : at);
    const int newLast = last > deletedLast ? last - count : at - 1;
    first = newFirst;
    last = newLast;
    return true;
}

NodePtr shiftReferences(const NodePtr& root, int formulaSheet, const SheetChange& change) {
    return rewrite(root, [&](const Node& n) -> NodePtr {
        const int refSheet = n.sheet >= 0 ? n.sheet : formulaSheet;
        if (refSheet != change.sheet) {
            return nullptr;
        }
        int r1 = n.first.pos.row, r2 = n.kind == NodeKind::Ref ? r1 : n.last.pos.row;
        int c1 = n.first.pos.col, c2 = n.kind == NodeKind::Ref ? c1 : n.last.pos.col;
        switch (change.kind) {
        case SheetChange::Kind::InsertRows:
        case SheetChange::Kind::DeleteRows: {
            if (n.isWholeColumns()) {
                return nullptr;
            }
            const bool insert = change.kind == SheetChange::Kind::InsertRows;
            if (!shiftInterval(r1, r2, insert, change.at, change.count, sheet::kMaxRows)) {
                return errorFor(n);
            }
            if (n.kind == NodeKind::Ref && r1 != r2) {
                r2 = r1;
            }
            break;
        }
        case SheetChange::Kind::InsertCellsRight: {
            // Only references lying wholly within the moved rows follow the cells.
            if (r1 < change.bandFirst || r2 > change.bandLast || n.isWholeRows()) {
                return nullptr;
            }
            if (!shiftInterval(c1, c2, true, change.at, change.count, sheet::kMaxColumns)) {
                return errorFor(n);
            }
            if (n.kind == NodeKind::Ref && c1 != c2) {
                c2 = c1;
            }
            break;
        }
        }
        if (r1 == n.first.pos.row && c1 == n.first.pos.col && r2 == n.area().last.row && c2 == n.area().last.col) {
            return nullptr;
        }
        return withArea(n, r1, c1, r2, c2);
    });
}

NodePtr translateReferences(const NodePtr& root, int rows, int cols) {
    if (rows == 0 && cols == 0) {
        return root;
    }
    return rewrite(root, [&](const Node& n) -> NodePtr {
        const bool wholeCols = n.isWholeColumns(), wholeRows = n.isWholeRows();
        auto move = [&](const RefCorner& c, int& row, int& col) {
            row = c.pos.row + ((c.rowAbs || wholeCols) ? 0 : rows);
            col = c.pos.col + ((c.colAbs || wholeRows) ? 0 : cols);
            return sheet::isValid(sheet::CellPos{row, col});
        };
        int r1 = 0, c1 = 0, r2 = 0, c2 = 0;
        if (!move(n.first, r1, c1) || (n.kind == NodeKind::AreaRef && !move(n.last, r2, c2))) {
            return errorFor(n);
        }
        if (n.kind == NodeKind::Ref) {
            r2 = r1;
            c2 = c1;
        }
        if (r1 == n.first.pos.row && c1 == n.first.pos.col && r2 == n.area().last.row && c2 == n.area().last.col) {
            return nullptr;
        }
        auto copy = std::make_shared<Node>(n);
        copy->first.pos = sheet::CellPos{r1, c1};
        copy->last.pos = sheet::CellPos{r2, c2};
        // Relative corners may have crossed; keep the top-left corner first.
        if (n.kind == NodeKind::AreaRef) {
            return makeArea(copy->first, copy->last, n.sheet);
        }
        return copy;
    });
}

} // namespace markwell::formula
