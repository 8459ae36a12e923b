#include "FormulaReader.h"

#include "FormulaPool.h"
#include "FunctionTable.h"
#include "RecordReader.h"

#include <cmath>
#include <cstdio>

namespace markwell::xls {

namespace {

using NodePtr = std::shared_ptr<const formula::Node>;

// Deeper trees are refused: later passes over the tree recurse.
constexpr int kMaxDepth = formula::kMaxDepth;

[[noreturn]] void bad(const std::string& message) {
    throw XlsError(XlsErrorKind::Corrupt, message);
}

std::string hex(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v);
    return buf;
}

struct Item {
    NodePtr node;
    int depth;
    bool relative; // it or a part of it is a relative reference
};

class Decoder {
public:
    Decoder(ByteView rgce, const FormulaReadContext& context) : m_in(rgce, "formula"), m_ctx(context) {
        m_stack.reserve(16); // room for the operands of nearly every formula
    }

    NodePtr run();

private:
    // Every node made goes on the stack through here; with a pool, the pool's equal node takes
    // its place. `relativeParts`: one of its arguments holds a relative reference.
    void push(NodePtr n, int depth, bool relativeParts = false) {
        if (depth > kMaxDepth) {
            bad("The formula nests too deeply.");
        }
        const bool relative = relativeParts || FormulaPool::isRelativeRef(*n);
        if (m_ctx.pool) {
            n = m_ctx.pool->add(std::move(n), relative);
        }
        m_stack.push_back({std::move(n), depth, relative});
    }
    void needOperand() const {
        if (m_stack.empty()) {
            bad("The formula tokens do not form an expression (an operator lacks its operand).");
        }
    }
    Item pop() {
        needOperand();
        Item i = std::move(m_stack.back());
        m_stack.pop_back();
        return i;
    }
    void needArgs(std::size_t n) const {
        if (n > m_stack.size()) {
            bad("A function in the formula has fewer arguments than it announces.");
        }
    }
    // The function of the last `argc` operands on the stack, which takes their place.
    void function(std::string name, std::size_t argc);
    // A BIFF8 cell address: 16-bit row, column with the relative flags in its top bits. Shared
    // formulas store relative parts as offsets from the cell.
    formula::RefCorner corner(unsigned row, unsigned colField, bool offsets) const;
    int sheetOf(unsigned ixti) const;

    ByteReader m_in;
    const FormulaReadContext& m_ctx;
    std::vector<Item> m_stack;
};

formula::RefCorner Decoder::corner(unsigned row, unsigned colField, bool offsets) const {
    const bool rowRel = colField & 0x8000;
    const bool colRel = colField & 0x4000;
    int r = static_cast<int>(row);
    int c = static_cast<int>(colField & 0x00FF);
    if (offsets) {
        if (rowRel) {
            r = (m_ctx.row + static_cast<std::int16_t>(row)) & 0xFFFF;
        }
        if (colRel) {
            c = (m_ctx.col + static_cast<std::int8_t>(colField & 0xFF)) & 0xFF;
        }
    }
    formula::RefCorner k;
    k.pos = sheet::CellPos{r, c};
    k.rowAbs = !rowRel;
    k.colAbs = !colRel;
    return k;
}

int Decoder::sheetOf(unsigned ixti) const {
    const Globals& g = *m_ctx.globals;
    if (ixti >= g.externSheets.size()) {
        bad("A 3-D reference uses EXTERNSHEET entry " + std::to_string(ixti) + ", which does not exist.");
    }
    const ExternSheetEntry& e = g.externSheets[ixti];
    if (e.supBook >= g.supBooks.size() || g.supBooks[e.supBook].kind != SupBook::Kind::Internal) {
        bad("The formula refers to another workbook.");
    }
    if (e.firstSheet != e.lastSheet) {
        bad("The formula refers to a range of several sheets.");
    }
    if (e.firstSheet >= m_ctx.sheetOfBoundSheet.size() || m_ctx.sheetOfBoundSheet[e.firstSheet] < 0) {
        bad("The formula refers to a sheet that does not exist.");
    }
    return m_ctx.sheetOfBoundSheet[e.firstSheet];
}

void Decoder::function(std::string name, std::size_t argc) {
    needArgs(argc);
    int depth = 0;
    bool relative = false;
    std::vector<NodePtr> nodes;
    nodes.reserve(argc);
    const auto args = m_stack.end() - static_cast<std::ptrdiff_t>(argc);
    for (auto a = args; a != m_stack.end(); ++a) {
        depth = std::max(depth, a->depth);
        relative = relative || a->relative;
        nodes.push_back(std::move(a->node));
    }
    m_stack.erase(args, m_stack.end());
    push(formula::makeFunction(std::move(name), std::move(nodes)), depth + 1, relative);
}

NodePtr Decoder::run() {
    const Globals& g = *m_ctx.globals;
    while (!m_in.atEnd()) {
        const unsigned ptg = m_in.u8();
        // Operand tokens come in three classes (reference, value, array) that read alike.
        const unsigned base = ptg >= 0x20 && ptg < 0x80 ? ((ptg & 0x1F) | 0x20) : ptg;
        switch (base) {
        case 0x03:
        case 0x04:
        case 0x05:
        case 0x06:
        case 0x07:
        case 0x08:
        case 0x09:
        case 0x0A:
        case 0x0B:
        case 0x0C:
        case 0x0D:
        case 0x0E: {
            static const formula::BinaryOp ops[] = {
                formula::BinaryOp::Add, formula::BinaryOp::Sub,    formula::BinaryOp::Mul, formula::BinaryOp::Div,
                formula::BinaryOp::Pow, formula::BinaryOp::Concat, formula::BinaryOp::Lt,  formula::BinaryOp::Le,
                formula::BinaryOp::Eq,  formula::BinaryOp::Ge,     formula::BinaryOp::Gt,  formula::BinaryOp::Ne};
            Item rhs = pop();
            Item lhs = pop();
            push(formula::makeBinary(ops[base - 0x03], std::move(lhs.node), std::move(rhs.node)),
                 std::max(lhs.depth, rhs.depth) + 1, lhs.relative || rhs.relative);
            break;
        }
        case 0x10: {
            Item rhs = pop();
            Item lhs = pop();
            push(formula::makeBinary(formula::BinaryOp::Union, std::move(lhs.node), std::move(rhs.node)),
                 std::max(lhs.depth, rhs.depth) + 1, lhs.relative || rhs.relative);
            break;
        }
        case 0x0F:
        case 0x11:
            bad("The formula uses a reference operator (intersection or range) this program does not keep.");
        case 0x12:
        case 0x13:
        case 0x14: {
            Item x = pop();
            const formula::UnaryOp op = base == 0x12   ? formula::UnaryOp::Plus
                                        : base == 0x13 ? formula::UnaryOp::Minus
                                                       : formula::UnaryOp::Percent;
            push(formula::makeUnary(op, std::move(x.node)), x.depth + 1, x.relative);
            break;
        }
        case 0x15: {
            Item x = pop();
            push(formula::makeParen(std::move(x.node)), x.depth + 1, x.relative);
            break;
        }
        case 0x16:
            push(formula::makeMissing(), 0);
            break;
        case 0x17: {
            const unsigned cch = m_in.u8();
            const unsigned flags = m_in.u8();
            const std::size_t bytes = (flags & 1) ? cch * 2u : cch;
            ByteView raw = m_in.bytes(bytes);
            Record r;
            r.data.assign(raw.begin(), raw.end());
            RecordCursor c(r);
            push(formula::makeText(c.chars(cch, flags & 1)), 0);
            break;
        }
        case 0x19: {
            const unsigned kind = m_in.u8();
            const unsigned data = m_in.u16();
            if (kind & 0x04) {
                m_in.skip((static_cast<std::size_t>(data) + 1) * 2); // CHOOSE's jump table
            } else if (kind & 0x10) {
                needOperand(); // SUM of a single argument
                function("SUM", 1);
            }
            break; // IF and GOTO jumps, volatility and spacing change nothing in the tree
        }
        case 0x1C: {
            const unsigned code = m_in.u8();
            switch (code) {
            case 0x00:
            case 0x07:
            case 0x0F:
            case 0x17:
            case 0x1D:
            case 0x24:
            case 0x2A:
                push(formula::makeError(static_cast<sheet::ErrorCode>(code)), 0);
                break;
            default:
                bad("The formula holds an unknown error code " + hex(code) + ".");
            }
            break;
        }
        case 0x1D:
            push(formula::makeBoolean(m_in.u8() != 0), 0);
            break;
        case 0x1E:
            push(formula::makeNumber(m_in.u16()), 0);
            break;
        case 0x1F: {
            const double v = m_in.f64();
            if (!std::isfinite(v)) {
                bad("The formula holds a number that is not finite.");
            }
            push(formula::makeNumber(v), 0);
            break;
        }
        case 0x20:
            bad("The formula holds an array constant, which this program does not keep.");
        case 0x21: {
            const unsigned index = m_in.u16();
            const FunctionInfo* f = functionByIndex(static_cast<std::uint16_t>(index));
            if (!f || !f->fixed()) {
                bad("The formula calls function number " + std::to_string(index) +
                    " with a fixed argument count this program does not know.");
            }
            function(std::string(f->name), f->minArgs);
            break;
        }
        case 0x22: {
            const unsigned argc = m_in.u8() & 0x7F;
            const unsigned index = m_in.u16() & 0x7FFF;
            needArgs(argc);
            if (index == kExternalFunction) {
                // An add-in or newer function: the first argument names it.
                const auto first = m_stack.end() - static_cast<std::ptrdiff_t>(argc);
                if (argc == 0 || !first->node || first->node->kind != formula::NodeKind::Name) {
                    bad("The formula calls an external function without naming it.");
                }
                std::string name = first->node->text;
                if (name.rfind("_xlfn.", 0) == 0) {
                    name = name.substr(6);
                }
                for (char& ch : name) {
                    ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 'a' + 'A' : ch);
                }
                m_stack.erase(first);
                function(std::move(name), argc - 1);
            } else if (const FunctionInfo* f = functionByIndex(static_cast<std::uint16_t>(index))) {
                function(std::string(f->name), argc);
            } else {
                function(std::string(kUnknownFunctionPrefix) + std::to_string(index), argc);
            }
            break;
        }
        case 0x23: {
            const unsigned index = m_in.u16();
            m_in.u16();
            if (index == 0 || index > g.names.size()) {
                bad("The formula uses defined name " + std::to_string(index) + ", which does not exist.");
            }
            push(formula::makeName(g.names[index - 1].name), 0);
            break;
        }
        case 0x24:
        case 0x2C: {
            const unsigned row = m_in.u16();
            const unsigned col = m_in.u16();
            push(formula::makeRef(corner(row, col, base == 0x2C), -1), 0);
            break;
        }
        case 0x25:
        case 0x2D: {
            const unsigned r1 = m_in.u16(), r2 = m_in.u16(), c1 = m_in.u16(), c2 = m_in.u16();
            push(formula::makeArea(corner(r1, c1, base == 0x2D), corner(r2, c2, base == 0x2D), -1), 0);
            break;
        }
        case 0x26:
        case 0x27:
        case 0x28:
            m_in.skip(6); // the sub-expression that follows computes the reference itself
            break;
        case 0x29:
        case 0x2E:
        case 0x2F:
            m_in.skip(2);
            break;
        case 0x2A:
            m_in.skip(4);
            push(formula::makeRefError(), 0);
            break;
        case 0x2B:
            m_in.skip(8);
            push(formula::makeAreaError(), 0);
            break;
        case 0x39: {
            const unsigned ixti = m_in.u16();
            const unsigned index = m_in.u16();
            m_in.u16();
            if (ixti >= g.externSheets.size() || g.externSheets[ixti].supBook >= g.supBooks.size()) {
                bad("The formula uses an external name that does not exist.");
            }
            const SupBook& book = g.supBooks[g.externSheets[ixti].supBook];
            if (index == 0 || index > book.externNames.size()) {
                bad("The formula uses an external name that does not exist.");
            }
            push(formula::makeName(book.externNames[index - 1]), 0);
            break;
        }
        case 0x3A: {
            const int s = sheetOf(m_in.u16());
            const unsigned row = m_in.u16(), col = m_in.u16();
            push(formula::makeRef(corner(row, col, m_ctx.sharedFormula), s), 0);
            break;
        }
        case 0x3B: {
            const int s = sheetOf(m_in.u16());
            const unsigned r1 = m_in.u16(), r2 = m_in.u16(), c1 = m_in.u16(), c2 = m_in.u16();
            push(formula::makeArea(corner(r1, c1, m_ctx.sharedFormula), corner(r2, c2, m_ctx.sharedFormula), s), 0);
            break;
        }
        case 0x3C:
            m_in.skip(6);
            push(formula::makeRefError(), 0);
            break;
        case 0x3D:
            m_in.skip(10);
            push(formula::makeAreaError(), 0);
            break;
        default:
            bad("The formula holds an unknown token " + hex(ptg) + ".");
        }
    }
    if (m_stack.size() != 1) {
        bad(m_stack.empty() ? "The formula is empty." : "The formula tokens do not form one expression.");
    }
    return std::move(m_stack.back().node);
}

} // namespace

std::shared_ptr<const formula::Node> decodeFormula(ByteView rgce, const FormulaReadContext& context) {
    if (context.pool) {
        context.pool->startFormula(context.row);
    }
    return Decoder(rgce, context).run();
}

} // namespace markwell::xls
