#include "workbook/formula/Printer.h"

#include "workbook/sheet/Workbook.h"

#include <array>
#include <charconv>

namespace markwell::formula {

namespace {

// Binding strength; a higher level binds tighter.
enum Level : int {
    kUnion = 0,
    kCompare = 1,
    kConcat = 2,
    kAdd = 3,
    kMul = 4,
    kPow = 5,
    kPrefix = 6,
    kPercent = 7,
    kPrimary = 8,
};

int binaryLevel(BinaryOp op) {
    switch (op) {
    case BinaryOp::Union:
        return kUnion;
    case BinaryOp::Eq:
    case BinaryOp::Ne:
    case BinaryOp::Lt:
    case BinaryOp::Le:
    case BinaryOp::Gt:
    case BinaryOp::Ge:
        return kCompare;
    case BinaryOp::Concat:
        return kConcat;
    case BinaryOp::Add:
    case BinaryOp::Sub:
        return kAdd;
    case BinaryOp::Mul:
    case BinaryOp::Div:
        return kMul;
    case BinaryOp::Pow:
        return kPow;
    }
    return kPrimary;
}

const char* binaryText(BinaryOp op) {
    switch (op) {
    case BinaryOp::Add:
        return "+";
    case BinaryOp::Sub:
        return "-";
    case BinaryOp::Mul:
        return "*";
    case BinaryOp::Div:
        return "/";
    case BinaryOp::Pow:
        return "^";
    case BinaryOp::Concat:
        return "&";
    case BinaryOp::Eq:
        return "=";
    case BinaryOp::Ne:
        return "<>";
    case BinaryOp::Lt:
        return "<";
    case BinaryOp::Le:
        return "<=";
    case BinaryOp::Gt:
        return ">";
    case BinaryOp::Ge:
        return ">=";
    case BinaryOp::Union:
        return ",";
    }
    return "?";
}

int level(const Node& n) {
    switch (n.kind) {
    case NodeKind::Binary:
        return binaryLevel(n.binaryOp);
    case NodeKind::Unary:
        return n.unaryOp == UnaryOp::Percent ? kPercent : kPrefix;
    default:
        return kPrimary;
    }
}

std::string numberText(double value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), result.ptr);
    for (char& c : text) {
        if (c == 'e') {
            c = 'E';
        }
    }
    return text;
}

bool needsQuotes(const std::string& name) {
    if (name.empty()) {
        return true;
    }
    const char first = name[0];
    if (first >= '0' && first <= '9') {
        return true;
    }
    for (char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                           c == '.' || static_cast<unsigned char>(c) >= 0x80;
        if (!plain) {
            return true;
        }
    }
    // A name that reads as a cell (e.g. "AB12") or TRUE/FALSE needs quotes too.
    if (sheet::parseA1(name) || sheet::equalsIgnoringCase(name, "TRUE") || sheet::equalsIgnoringCase(name, "FALSE")) {
        return true;
    }
    return false;
}

class Printer {
public:
    explicit Printer(const sheet::Workbook* workbook) : m_workbook(workbook) {}

    void print(const Node& n, int minLevel) {
        const bool wrap = level(n) < minLevel;
        if (wrap) {
            m_out += '(';
        }
        printBare(n);
        if (wrap) {
            m_out += ')';
        }
    }

    std::string take() { return std::move(m_out); }

private:
    void sheetPrefix(int sheetIndex) {
        if (sheetIndex < 0) {
            return;
        }
        std::string name;
        if (m_workbook && static_cast<std::size_t>(sheetIndex) < m_workbook->sheets.size()) {
            name = m_workbook->sheets[static_cast<std::size_t>(sheetIndex)].name;
        } else {
            name = "Sheet" + std::to_string(sheetIndex + 1);
        }
        if (needsQuotes(name)) {
            m_out += '\'';
            for (char c : name) {
                m_out += c;
                if (c == '\'') {
                    m_out += '\'';
                }
            }
            m_out += '\'';
        } else {
            m_out += name;
        }
        m_out += '!';
    }

    void printBare(const Node& n) {
        switch (n.kind) {
        case NodeKind::Number:
            m_out += numberText(n.number);
            break;
        case NodeKind::Text:
            m_out += '"';
            for (char c : n.text) {
                m_out += c;
                if (c == '"') {
                    m_out += '"';
                }
            }
            m_out += '"';
            break;
        case NodeKind::Boolean:
            m_out += n.boolean ? "TRUE" : "FALSE";
            break;
        case NodeKind::Error:
            m_out += sheet::errorText(n.error);
            break;
        case NodeKind::Missing:
            break;
        case NodeKind::Ref:
            sheetPrefix(n.sheet);
            m_out += sheet::toA1(n.first.pos, n.first.rowAbs, n.first.colAbs);
            break;
        case NodeKind::AreaRef:
            sheetPrefix(n.sheet);
            if (n.isWholeColumns()) {
                m_out += (n.first.colAbs ? "$" : "") + sheet::columnName(n.first.pos.col) + ':' +
                         (n.last.colAbs ? "$" : "") + sheet::columnName(n.last.pos.col);
            } else if (n.isWholeRows()) {
                m_out += (n.first.rowAbs ? "$" : "") + std::to_string(n.first.pos.row + 1) + ':' +
                         (n.last.rowAbs ? "$" : "") + std::to_string(n.last.pos.row + 1);
            } else {
                m_out += sheet::toA1(n.first.pos, n.first.rowAbs, n.first.colAbs) + ':' +
                         sheet::toA1(n.last.pos, n.last.rowAbs, n.last.colAbs);
            }
            break;
        case NodeKind::RefError:
        case NodeKind::AreaError:
            sheetPrefix(n.sheet);
            m_out += "#REF!";
            break;
        case NodeKind::Name:
            m_out += n.text;
            break;
        case NodeKind::Unary:
            if (n.unaryOp == UnaryOp::Percent) {
                print(*n.args[0], kPercent);
                m_out += '%';
            } else {
                m_out += n.unaryOp == UnaryOp::Minus ? '-' : '+';
                print(*n.args[0], kPrefix);
            }
            break;
        case NodeKind::Binary: {
            const int lv = binaryLevel(n.binaryOp);
            // Left-associative: the right operand needs a strictly tighter binding.
            print(*n.args[0], lv);
            m_out += binaryText(n.binaryOp);
            print(*n.args[1], lv + 1);
            break;
        }
        case NodeKind::Function:
            m_out += n.text;
            m_out += '(';
            for (std::size_t i = 0; i < n.args.size(); ++i) {
                if (i > 0) {
                    m_out += ',';
                }
                print(*n.args[i], kCompare);
            }
            m_out += ')';
            break;
        case NodeKind::Paren:
            m_out += '(';
            print(*n.args[0], kUnion);
            m_out += ')';
            break;
        }
    }

    const sheet::Workbook* m_workbook;
    std::string m_out;
};

} // namespace

std::string printExpression(const NodePtr& root, const sheet::Workbook* workbook) {
    if (!root) {
        return {};
    }
    Printer printer(workbook);
    printer.print(*root, kUnion);
    return printer.take();
}

std::string printFormula(const NodePtr& root, const sheet::Workbook* workbook) {
    return '=' + printExpression(root, workbook);
}

} // namespace markwell::formula
