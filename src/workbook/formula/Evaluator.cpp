#include "workbook/formula/Evaluator.h"

#include "workbook/sheet/Workbook.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>

namespace markwell::formula {

using sheet::Area;
using sheet::CellPos;
using sheet::ErrorCode;
using sheet::Value;

// ---------------------------------------------------------------------------------------------
// Cached values

sheet::Value CachedValues::value(int sheetIndex, CellPos pos) {
    if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= m_workbook.sheets.size()) {
        return ErrorCode::Ref;
    }
    const sheet::Cell* c = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].cell(pos.row, pos.col);
    return c ? c->value : Value{};
}

void CachedValues::forEach(int sheetIndex, const Area& area, const std::function<void(CellPos, const Value&)>& visit) {
    if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= m_workbook.sheets.size()) {
        return;
    }
    const auto& rows = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows();
    const int lastRow = std::min(area.last.row, static_cast<int>(rows.size()) - 1);
    for (int r = std::max(area.first.row, 0); r <= lastRow; ++r) {
        const auto& cells = rows[static_cast<std::size_t>(r)].cells;
        const int lastCol = std::min(area.last.col, static_cast<int>(cells.size()) - 1);
        for (int c = std::max(area.first.col, 0); c <= lastCol; ++c) {
            const Value& v = cells[static_cast<std::size_t>(c)].value;
            if (!v.isEmpty()) {
                visit(CellPos{r, c}, v);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Conversions

std::optional<double> textToNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    bool percent = false;
    if (!text.empty() && text.back() == '%') {
        percent = true;
        text.remove_suffix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() == '+' || text.front() == '-') {
        return std::nullopt;
    }
    double number = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), number);
    if (result.ec != std::errc{} || result.ptr != text.data() + text.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    if (percent) {
        number /= 100;
    }
    return negative ? -number : number;
}

double roundHalfAway(double value, int digits) {
    if (!std::isfinite(value)) {
        return value;
    }
    digits = std::clamp(digits, -308, 308);
    const double scale = std::pow(10.0, std::abs(digits));
    double scaled = digits >= 0 ? value * scale : value / scale;
    if (!std::isfinite(scaled)) {
        return value;
    }
    // Snap to 15 significant digits first, so 0.895 * 100 (89.4999...) rounds as 89.5.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.15g", scaled);
    scaled = std::strtod(buffer, nullptr);
    const double rounded = std::round(scaled); // half away from zero
    return digits >= 0 ? rounded / scale : rounded * scale;
}

namespace {

std::string upperText(const std::string& s) {
    return sheet::upperAscii(s);
}

// The result of a sub-expression: a single value or a reference to cells.
struct Operand {
    bool isRef = false;
    Value value;
    int sheet = 0;
    Area area;
};

Operand scalar(Value v) {
    Operand o;
    o.value = std::move(v);
    return o;
}

Operand reference(int sheetIndex, Area area) {
    Operand o;
    o.isRef = true;
    o.sheet = sheetIndex;
    o.area = area;
    return o;
}

std::optional<double> toNumber(const Value& v, ErrorCode& error) {
    switch (v.type()) {
    case Value::Type::Empty:
        return 0.0;
    case Value::Type::Number:
        return v.number();
    case Value::Type::Boolean:
        return v.boolean() ? 1.0 : 0.0;
    case Value::Type::Text:
        if (auto n = textToNumber(v.text())) {
            return n;
        }
        error = ErrorCode::Value;
        return std::nullopt;
    case Value::Type::Error:
        error = v.error();
        return std::nullopt;
    }
    return std::nullopt;
}

std::string toText(const Value& v) {
    switch (v.type()) {
    case Value::Type::Number:
        return sheet::numberToText(v.number());
    case Value::Type::Text:
        return v.text();
    case Value::Type::Boolean:
        return v.boolean() ? "TRUE" : "FALSE";
    default:
        return {};
    }
}

// A condition: numbers are true unless zero, texts must read TRUE or FALSE.
std::optional<bool> toBoolean(const Value& v, ErrorCode& error) {
    switch (v.type()) {
    case Value::Type::Empty:
        return false;
    case Value::Type::Number:
        return v.number() != 0;
    case Value::Type::Boolean:
        return v.boolean();
    case Value::Type::Text: {
        const std::string u = upperText(v.text());
        if (u == "TRUE") {
            return true;
        }
        if (u == "FALSE") {
            return false;
        }
        error = ErrorCode::Value;
        return std::nullopt;
    }
    case Value::Type::Error:
        error = v.error();
        return std::nullopt;
    }
    return std::nullopt;
}

Value numberResult(double n) {
    if (!std::isfinite(n)) {
        return ErrorCode::Num;
    }
    return n == 0 ? 0.0 : n; // no negative zero
}

// Compares two values as spreadsheets order them: numbers < texts < booleans; an empty value
// takes the type of the other side. Texts compare case-insensitively.
int compareValues(const Value& a, const Value& b) {
    auto rank = [](const Value& v) {
        switch (v.type()) {
        case Value::Type::Number:
            return 0;
        case Value::Type::Text:
            return 1;
        case Value::Type::Boolean:
            return 2;
        default:
            return 0;
        }
    };
    Value x = a, y = b;
    if (x.isEmpty() && y.isEmpty()) {
        return 0;
    }
    if (x.isEmpty()) {
        x = y.isText() ? Value(std::string()) : y.isBoolean() ? Value(false) : Value(0.0);
    }
    if (y.isEmpty()) {
        y = x.isText() ? Value(std::string()) : x.isBoolean() ? Value(false) : Value(0.0);
    }
    const int rx = rank(x), ry = rank(y);
    if (rx != ry) {
        return rx < ry ? -1 : 1;
    }
    if (x.isNumber()) {
        return x.number() < y.number() ? -1 : x.number() > y.number() ? 1 : 0;
    }
    if (x.isBoolean()) {
        return static_cast<int>(x.boolean()) - static_cast<int>(y.boolean());
    }
    const std::string ux = upperText(x.text()), uy = upperText(y.text());
    return ux < uy ? -1 : ux > uy ? 1 : 0;
}

enum class Fn {
    If,
    Or,
    And,
    Not,
    Sum,
    Round,
    HLookup,
    VLookup,
    Count,
    CountA,
    Average,
    Max,
    Min,
    True,
    False,
    Unknown
};

Fn functionOf(const std::string& name) {
    static const std::unordered_map<std::string, Fn> table{
        {"IF", Fn::If},       {"OR", Fn::Or},         {"AND", Fn::And},         {"NOT", Fn::Not},
        {"SUM", Fn::Sum},     {"ROUND", Fn::Round},   {"HLOOKUP", Fn::HLookup}, {"VLOOKUP", Fn::VLookup},
        {"COUNT", Fn::Count}, {"COUNTA", Fn::CountA}, {"AVERAGE", Fn::Average}, {"MAX", Fn::Max},
        {"MIN", Fn::Min},     {"TRUE", Fn::True},     {"FALSE", Fn::False},
    };
    const auto it = table.find(name);
    return it == table.end() ? Fn::Unknown : it->second;
}

// Names may refer to names; a chain this long is a loop.
constexpr int kMaxNameDepth = 32;

class Evaluator {
public:
    explicit Evaluator(const EvalContext& context) : m_ctx(context) {}

    Value run(const NodePtr& root) {
        Value v = toScalar(eval(*root));
        if (v.isEmpty()) {
            return 0.0;
        }
        return v;
    }

private:
    int sheetOf(int nodeSheet) const { return nodeSheet >= 0 ? nodeSheet : m_ctx.sheet; }

    // The value of an operand where a single value is wanted. A reference to one cell gives that
    // cell; a one-column or one-row area gives the cell in the formula's row or column.
    Value toScalar(const Operand& o) {
        if (!o.isRef) {
            return o.value;
        }
        const Area& a = o.area;
        if (a.first == a.last) {
            return m_ctx.cells->value(o.sheet, a.first);
        }
        if (a.first.col == a.last.col && m_ctx.cell.row >= a.first.row && m_ctx.cell.row <= a.last.row) {
            return m_ctx.cells->value(o.sheet, CellPos{m_ctx.cell.row, a.first.col});
        }
        if (a.first.row == a.last.row && m_ctx.cell.col >= a.first.col && m_ctx.cell.col <= a.last.col) {
            return m_ctx.cells->value(o.sheet, CellPos{a.first.row, m_ctx.cell.col});
        }
        return ErrorCode::Value;
    }

    Operand eval(const Node& n) {
        switch (n.kind) {
        case NodeKind::Number:
            return scalar(n.number);
        case NodeKind::Text:
            return scalar(n.text);
        case NodeKind::Boolean:
            return scalar(n.boolean);
        case NodeKind::Error:
            return scalar(n.error);
        case NodeKind::Missing:
            return scalar(Value{});
        case NodeKind::Ref:
        case NodeKind::AreaRef:
            return reference(sheetOf(n.sheet), n.area());
        case NodeKind::RefError:
        case NodeKind::AreaError:
            return scalar(ErrorCode::Ref);
        case NodeKind::Name:
            return evalName(n);
        case NodeKind::Paren:
            return eval(*n.args[0]);
        case NodeKind::Unary:
            return scalar(evalUnary(n));
        case NodeKind::Binary:
            return scalar(evalBinary(n));
        case NodeKind::Function:
            return evalFunction(n);
        }
        return scalar(ErrorCode::Value);
    }

    Operand evalName(const Node& n) {
        const sheet::DefinedName* name = m_ctx.workbook ? m_ctx.workbook->findName(n.text, m_ctx.sheet) : nullptr;
        if (!name || !name->refersTo || m_nameDepth >= kMaxNameDepth) {
            return scalar(ErrorCode::Name);
        }
        ++m_nameDepth;
        Operand o = eval(*name->refersTo);
        --m_nameDepth;
        return o;
    }

    Value evalUnary(const Node& n) {
        const Value v = toScalar(eval(*n.args[0]));
        ErrorCode error = ErrorCode::Value;
        const auto x = toNumber(v, error);
        if (!x) {
            return error;
        }
        switch (n.unaryOp) {
        case UnaryOp::Plus:
            return v.isEmpty() ? Value(0.0) : v; // unary plus leaves texts alone
        case UnaryOp::Minus:
            return numberResult(-*x);
        case UnaryOp::Percent:
            return numberResult(*x / 100);
        }
        return ErrorCode::Value;
    }

    Value evalBinary(const Node& n) {
        if (n.binaryOp == BinaryOp::Union) {
            return ErrorCode::Value;
        }
        const Value a = toScalar(eval(*n.args[0]));
        const Value b = toScalar(eval(*n.args[1]));
        if (a.isError()) {
            return a;
        }
        if (b.isError()) {
            return b;
        }
        switch (n.binaryOp) {
        case BinaryOp::Concat:
            return toText(a) + toText(b);
        case BinaryOp::Eq:
            return compareValues(a, b) == 0;
        case BinaryOp::Ne:
            return compareValues(a, b) != 0;
        case BinaryOp::Lt:
            return compareValues(a, b) < 0;
        case BinaryOp::Le:
            return compareValues(a, b) <= 0;
        case BinaryOp::Gt:
            return compareValues(a, b) > 0;
        case BinaryOp::Ge:
            return compareValues(a, b) >= 0;
        default:
            break;
        }
        ErrorCode error = ErrorCode::Value;
        const auto x = toNumber(a, error);
        if (!x) {
            return error;
        }
        const auto y = toNumber(b, error);
        if (!y) {
            return error;
        }
        switch (n.binaryOp) {
        case BinaryOp::Add:
            return numberResult(*x + *y);
        case BinaryOp::Sub:
            return numberResult(*x - *y);
        case BinaryOp::Mul:
            return numberResult(*x * *y);
        case BinaryOp::Div:
            if (*y == 0) {
                return ErrorCode::Div0;
            }
            return numberResult(*x / *y);
        case BinaryOp::Pow:
            if (*x == 0 && *y == 0) {
                return ErrorCode::Num;
            }
            if (*x == 0 && *y < 0) {
                return ErrorCode::Div0;
            }
            return numberResult(std::pow(*x, *y));
        default:
            return ErrorCode::Value;
        }
    }

    Operand evalFunction(const Node& n) {
        const auto& args = n.args;
        switch (functionOf(n.text)) {
        case Fn::If:
            return evalIf(n);
        case Fn::Or:
        case Fn::And:
            return scalar(evalLogical(n, functionOf(n.text) == Fn::And));
        case Fn::Not: {
            if (args.size() != 1) {
                return scalar(ErrorCode::Value);
            }
            ErrorCode error = ErrorCode::Value;
            const auto b = toBoolean(toScalar(eval(*args[0])), error);
            return b ? scalar(!*b) : scalar(error);
        }
        case Fn::Sum:
        case Fn::Count:
        case Fn::Average:
        case Fn::Max:
        case Fn::Min:
            return scalar(evalAggregate(n, functionOf(n.text)));
        case Fn::CountA:
            return scalar(evalCountA(n));
        case Fn::Round:
            return scalar(evalRound(n));
        case Fn::HLookup:
            return scalar(evalLookup(n, true));
        case Fn::VLookup:
            return scalar(evalLookup(n, false));
        case Fn::True:
            return args.empty() ? scalar(true) : scalar(ErrorCode::Value);
        case Fn::False:
            return args.empty() ? scalar(false) : scalar(ErrorCode::Value);
        case Fn::Unknown:
            break;
        }
        return scalar(ErrorCode::Name);
    }

    Operand evalIf(const Node& n) {
        const auto& args = n.args;
        if (args.empty() || args.size() > 3) {
            return scalar(ErrorCode::Value);
        }
        ErrorCode error = ErrorCode::Value;
        const auto cond = toBoolean(toScalar(eval(*args[0])), error);
        if (!cond) {
            return scalar(error);
        }
        if (*cond) {
            if (args.size() < 2) {
                return scalar(true);
            }
            return args[1]->kind == NodeKind::Missing ? scalar(0.0) : eval(*args[1]);
        }
        if (args.size() < 3) {
            return scalar(false);
        }
        return args[2]->kind == NodeKind::Missing ? scalar(0.0) : eval(*args[2]);
    }

    // OR and AND: references give their numbers and booleans (texts and empty cells are
    // ignored); direct arguments must be conditions. No condition at all is #VALUE!.
    Value evalLogical(const Node& n, bool isAnd) {
        bool any = false;
        bool result = isAnd;
        std::optional<ErrorCode> error;
        for (const auto& arg : n.args) {
            if (arg->kind == NodeKind::Missing) {
                continue;
            }
            const Operand o = eval(*arg);
            if (o.isRef) {
                m_ctx.cells->forEach(o.sheet, o.area, [&](CellPos, const Value& v) {
                    if (error) {
                        return;
                    }
                    if (v.isError()) {
                        error = v.error();
                    } else if (v.isNumber() || v.isBoolean()) {
                        const bool b = v.isNumber() ? v.number() != 0 : v.boolean();
                        any = true;
                        result = isAnd ? (result && b) : (result || b);
                    }
                });
            } else {
                ErrorCode e = ErrorCode::Value;
                const auto b = toBoolean(o.value, e);
                if (!b) {
                    return e;
                }
                any = true;
                result = isAnd ? (result && *b) : (result || *b);
            }
            if (error) {
                return *error;
            }
        }
        if (!any) {
            return ErrorCode::Value;
        }
        return result;
    }

    // SUM, COUNT, AVERAGE, MAX, MIN: numbers in references count, their texts, booleans and
    // empty cells do not; direct arguments are converted (TRUE is 1, "3" is 3).
    Value evalAggregate(const Node& n, Fn fn) {
        double sum = 0;
        double count = 0;
        double best = 0;
        bool haveBest = false;
        std::optional<ErrorCode> error;
        auto take = [&](double x) {
            sum += x;
            count += 1;
            if (!haveBest || (fn == Fn::Max ? x > best : x < best)) {
                best = x;
                haveBest = true;
            }
        };
        for (const auto& arg : n.args) {
            if (arg->kind == NodeKind::Missing) {
                take(0);
                continue;
            }
            const Operand o = eval(*arg);
            if (o.isRef) {
                m_ctx.cells->forEach(o.sheet, o.area, [&](CellPos, const Value& v) {
                    if (v.isNumber()) {
                        take(v.number());
                    } else if (v.isError() && fn != Fn::Count && !error) {
                        error = v.error();
                    }
                });
            } else {
                ErrorCode e = ErrorCode::Value;
                const auto x = o.value.isEmpty() ? std::optional<double>(0.0) : toNumber(o.value, e);
                if (x) {
                    take(*x);
                } else if (fn != Fn::Count) {
                    return e;
                }
            }
            if (error) {
                return *error;
            }
        }
        switch (fn) {
        case Fn::Sum:
            return numberResult(sum);
        case Fn::Count:
            return count;
        case Fn::Average:
            if (count == 0) {
                return ErrorCode::Div0;
            }
            return numberResult(sum / count);
        default:
            return haveBest ? numberResult(best) : Value(0.0);
        }
    }

    Value evalCountA(const Node& n) {
        double count = 0;
        for (const auto& arg : n.args) {
            if (arg->kind == NodeKind::Missing) {
                continue;
            }
            const Operand o = eval(*arg);
            if (o.isRef) {
                m_ctx.cells->forEach(o.sheet, o.area, [&](CellPos, const Value&) { count += 1; });
            } else {
                count += 1;
            }
        }
        return count;
    }

    Value evalRound(const Node& n) {
        if (n.args.size() != 2) {
            return ErrorCode::Value;
        }
        ErrorCode error = ErrorCode::Value;
        const auto x = toNumber(toScalar(eval(*n.args[0])), error);
        if (!x) {
            return error;
        }
        const auto d = toNumber(toScalar(eval(*n.args[1])), error);
        if (!d) {
            return error;
        }
        return numberResult(roundHalfAway(*x, static_cast<int>(std::trunc(std::clamp(*d, -400.0, 400.0)))));
    }

    // HLOOKUP / VLOOKUP. Approximate matching assumes the first row (column) ascending and takes
    // the last entry of the key's type that is not greater than the key; exact matching takes
    // the first equal entry.
    Value evalLookup(const Node& n, bool horizontal) {
        const auto& args = n.args;
        if (args.size() < 3 || args.size() > 4) {
            return ErrorCode::Value;
        }
        const Value key = toScalar(eval(*args[0]));
        if (key.isError()) {
            return key;
        }
        const Operand table = eval(*args[1]);
        if (!table.isRef) {
            return table.value.isError() ? table.value : Value(ErrorCode::NA);
        }
        ErrorCode error = ErrorCode::Value;
        const auto index = toNumber(toScalar(eval(*args[2])), error);
        if (!index) {
            return error;
        }
        bool approximate = true;
        if (args.size() == 4) {
            const auto b = toBoolean(toScalar(eval(*args[3])), error);
            if (!b) {
                return error;
            }
            approximate = *b;
        }
        const int offset = static_cast<int>(std::trunc(*index));
        const Area& a = table.area;
        const int span = horizontal ? a.rows() : a.columns();
        if (offset < 1) {
            return ErrorCode::Value;
        }
        if (offset > span) {
            return ErrorCode::Ref;
        }
        if (key.isEmpty()) {
            return ErrorCode::NA;
        }
        const int length = horizontal ? a.columns() : a.rows();
        std::optional<int> found;
        for (int i = 0; i < length; ++i) {
            const CellPos p =
                horizontal ? CellPos{a.first.row, a.first.col + i} : CellPos{a.first.row + i, a.first.col};
            const Value v = m_ctx.cells->value(table.sheet, p);
            if (v.type() != key.type()) {
                continue;
            }
            const int cmp = compareValues(v, key);
            if (approximate) {
                if (cmp <= 0) {
                    found = i;
                }
            } else if (cmp == 0) {
                found = i;
                break;
            }
        }
        if (!found) {
            return ErrorCode::NA;
        }
        const CellPos hit = horizontal ? CellPos{a.first.row + offset - 1, a.first.col + *found}
                                       : CellPos{a.first.row + *found, a.first.col + offset - 1};
        const Value result = m_ctx.cells->value(table.sheet, hit);
        return result.isEmpty() ? Value(0.0) : result;
    }

    const EvalContext& m_ctx;
    int m_nameDepth = 0;
};

} // namespace

sheet::Value evaluate(const NodePtr& root, const EvalContext& context) {
    if (!root || !context.cells) {
        return ErrorCode::Value;
    }
    Evaluator evaluator(context);
    return evaluator.run(root);
}

} // namespace markwell::formula
