#include "workbook/formula/Ast.h"

#include <algorithm>
#include <utility>

namespace markwell::formula {

namespace {

std::shared_ptr<Node> node(NodeKind kind) {
    auto n = std::make_shared<Node>();
    n->kind = kind;
    return n;
}

} // namespace

NodePtr makeNumber(double value) {
    auto n = node(NodeKind::Number);
    n->number = value;
    return n;
}

NodePtr makeText(std::string value) {
    auto n = node(NodeKind::Text);
    n->text = std::move(value);
    return n;
}

NodePtr makeBoolean(bool value) {
    auto n = node(NodeKind::Boolean);
    n->boolean = value;
    return n;
}

NodePtr makeError(sheet::ErrorCode code) {
    auto n = node(NodeKind::Error);
    n->error = code;
    return n;
}

NodePtr makeMissing() {
    return node(NodeKind::Missing);
}

NodePtr makeRef(RefCorner corner, int sheet) {
    auto n = node(NodeKind::Ref);
    n->first = corner;
    n->last = corner;
    n->sheet = sheet;
    return n;
}

NodePtr makeArea(RefCorner a, RefCorner b, int sheet) {
    auto n = node(NodeKind::AreaRef);
    if (a.pos.row > b.pos.row) {
        std::swap(a.pos.row, b.pos.row);
        std::swap(a.rowAbs, b.rowAbs);
    }
    if (a.pos.col > b.pos.col) {
        std::swap(a.pos.col, b.pos.col);
        std::swap(a.colAbs, b.colAbs);
    }
    n->first = a;
    n->last = b;
    n->sheet = sheet;
    return n;
}

NodePtr makeRefError(int sheet) {
    auto n = node(NodeKind::RefError);
    n->sheet = sheet;
    return n;
}

NodePtr makeAreaError(int sheet) {
    auto n = node(NodeKind::AreaError);
    n->sheet = sheet;
    return n;
}

NodePtr makeName(std::string name) {
    auto n = node(NodeKind::Name);
    n->text = std::move(name);
    return n;
}

NodePtr makeUnary(UnaryOp op, NodePtr operand) {
    auto n = node(NodeKind::Unary);
    n->unaryOp = op;
    n->args.push_back(std::move(operand));
    return n;
}

NodePtr makeBinary(BinaryOp op, NodePtr left, NodePtr right) {
    auto n = node(NodeKind::Binary);
    n->binaryOp = op;
    n->args.push_back(std::move(left));
    n->args.push_back(std::move(right));
    return n;
}

NodePtr makeFunction(std::string upperName, std::vector<NodePtr> args) {
    auto n = node(NodeKind::Function);
    n->text = std::move(upperName);
    n->args = std::move(args);
    return n;
}

NodePtr makeParen(NodePtr inner) {
    auto n = node(NodeKind::Paren);
    n->args.push_back(std::move(inner));
    return n;
}

int depth(const NodePtr& root) {
    if (!root) {
        return 0;
    }
    int deepest = 0;
    std::vector<std::pair<const Node*, int>> stack{{root.get(), 1}};
    while (!stack.empty()) {
        const auto [n, d] = stack.back();
        stack.pop_back();
        deepest = std::max(deepest, d);
        for (const auto& child : n->args) {
            if (child) {
                stack.emplace_back(child.get(), d + 1);
            }
        }
    }
    return deepest;
}

bool sameTree(const NodePtr& a, const NodePtr& b) {
    std::vector<std::pair<const Node*, const Node*>> stack{{a.get(), b.get()}};
    while (!stack.empty()) {
        const auto [x, y] = stack.back();
        stack.pop_back();
        if (x == y) {
            continue;
        }
        if (!x || !y || x->kind != y->kind || x->args.size() != y->args.size()) {
            return false;
        }
        switch (x->kind) {
        case NodeKind::Number:
            if (x->number != y->number) {
                return false;
            }
            break;
        case NodeKind::Boolean:
            if (x->boolean != y->boolean) {
                return false;
            }
            break;
        case NodeKind::Error:
            if (x->error != y->error) {
                return false;
            }
            break;
        case NodeKind::Text:
        case NodeKind::Name:
        case NodeKind::Function:
            if (x->text != y->text) {
                return false;
            }
            break;
        case NodeKind::Ref:
            if (x->first != y->first || x->sheet != y->sheet) {
                return false;
            }
            break;
        case NodeKind::AreaRef:
            if (x->first != y->first || x->last != y->last || x->sheet != y->sheet) {
                return false;
            }
            break;
        case NodeKind::RefError:
        case NodeKind::AreaError:
            if (x->sheet != y->sheet) {
                return false;
            }
            break;
        case NodeKind::Unary:
            if (x->unaryOp != y->unaryOp) {
                return false;
            }
            break;
        case NodeKind::Binary:
            if (x->binaryOp != y->binaryOp) {
                return false;
            }
            break;
        case NodeKind::Missing:
        case NodeKind::Paren:
            break;
        }
        for (std::size_t i = 0; i < x->args.size(); ++i) {
            stack.emplace_back(x->args[i].get(), y->args[i].get());
        }
    }
    return true;
}

std::vector<const Node*> unionParts(const NodePtr& root) {
    std::vector<const Node*> parts;
    std::vector<const Node*> stack{root.get()};
    while (!stack.empty()) {
        const Node* n = stack.back();
        stack.pop_back();
        if (!n) {
            continue;
        }
        if (n->kind == NodeKind::Binary && n->binaryOp == BinaryOp::Union && n->args.size() == 2) {
            stack.push_back(n->args[1].get());
            stack.push_back(n->args[0].get());
        } else if (n->kind == NodeKind::Paren && n->args.size() == 1) {
            stack.push_back(n->args[0].get());
        } else {
            parts.push_back(n);
        }
    }
    return parts;
}

} // namespace markwell::formula
