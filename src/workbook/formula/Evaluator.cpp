#include "workbook/formula/Evaluator.h"

#include "workbook/formula/AreaTotals.h"
#include "workbook/formula/Compare.h"
#include "workbook/formula/Sum.h"
#include "workbook/formula/TextNumber.h"
#include "workbook/sheet/Workbook.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

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

int columnsToVisit(const std::vector<sheet::Row>& rows, const Area& area, int firstRow, int lastRow) {
    if (area.first.col == area.last.col) {
        return area.last.col + 1;
    }
    std::size_t width = 0;
    for (int r = firstRow; r <= lastRow; ++r) {
        width = std::max(width, rows[static_cast<std::size_t>(r)].cells.size());
    }
    return static_cast<int>(width);
}

void CachedValues::forEachBlock(int sheetIndex, const Area& area, const AreaBlockVisitor& visit) {
    if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= m_workbook.sheets.size()) {
        return;
    }
    constexpr std::size_t kBlock = 1024; // the cells of a large area go a block at a time
    std::vector<AreaCell> block;
    const auto& rows = m_workbook.sheets[static_cast<std::size_t>(sheetIndex)].rows();
    const int firstRow = std::max(area.first.row, 0);
    const int lastRow = std::min(area.last.row, static_cast<int>(rows.size()) - 1);
    const int lastCol = std::min(area.last.col, columnsToVisit(rows, area, firstRow, lastRow) - 1);
    for (int c = std::max(area.first.col, 0); c <= lastCol; ++c) {
        for (int r = firstRow; r <= lastRow; ++r) {
            const auto& cells = rows[static_cast<std::size_t>(r)].cells;
            if (static_cast<std::size_t>(c) >= cells.size()) {
                continue;
            }
            const sheet::Cell& cell = cells[static_cast<std::size_t>(c)];
            if (!cell.value.isEmpty()) {
                block.push_back(AreaCell{CellPos{r, c}, cell.value, cell.formula != nullptr});
                if (block.size() == kBlock) {
                    visit(block);
                    block.clear();
                }
            }
        }
    }
    if (!block.empty()) {
        visit(block);
    }
}

// ---------------------------------------------------------------------------------------------
// Conversions

namespace {

// 10^n for n from 0 to 308, each the double nearest to it; beyond, infinity.
double powerOfTen(int n) {
    static const std::array<double, 309> table = [] {
        std::array<double, 309> t{};
        for (std::size_t i = 0; i < t.size(); ++i) {
            const std::string text = "1e" + std::to_string(i);
            std::from_chars(text.data(), text.data() + text.size(), t[i]);
        }
        return t;
    }();
    return n >= 0 && n < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(n)] : HUGE_VAL;
}

} // namespace

double roundHalfAway(double value, int digits) {
    if (!std::isfinite(value) || value == 0) {
        return value;
    }
    double x = std::fabs(value);
    // A whole number, or a number whose doubles are a whole number apart, has no decimals.
    if (digits >= 0 && (x >= 0x1p52 || std::trunc(x) == x)) {
        return value;
    }
    double factor = 1;
    if (digits != 0) {
        if (digits > 0) {
            // No more decimals than the binary fraction of the number can hold.
            const int exponent = static_cast<int>((std::bit_cast<std::uint64_t>(x) >> 52) & 0x7FF) - 1023;
            const int places = 52 - exponent;
            if (places <= 0) {
                return value;
            }
            digits = std::min(digits, places);
        }
        factor = powerOfTen(std::abs(digits));
        if (digits < 0 && !std::isfinite(factor)) {
            return 0.0;
        }
        if (!std::isfinite(factor)) {
            return value;
        }
        // Dividing by 10^n rather than multiplying by 10^-n, whose doubles are inexact.
        x = digits < 0 ? x / factor : x * factor;
        if (!std::isfinite(x)) {
            return value;
        }
    }
    if (digits == 0) {
        x = std::round(x); // no 15-digit correction: 2.4999999999999996 is 2
    } else if (x < 0x1p52) {
        x = std::floor(approxValue(x + 0.5));
    }
    if (digits != 0) {
        x = digits < 0 ? x * factor : x / factor;
    }
    if (!std::isfinite(x)) {
        return value;
    }
    return value < 0 ? -x : x;
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

// The length of UTF-8 text in UTF-16 code units, as the text limit counts it.
std::size_t utf16Length(std::string_view text) {
    std::size_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80) {
            units += byte >= 0xF0 ? 2 : 1; // a four-byte sequence is a surrogate pair
        }
    }
    return units;
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

// A whole number from a number argument as spreadsheet functions take it: the 15-digit value
// cut towards zero, so 1.9 is 1 and 2.9999999999999996 is 3.
double wholeArgument(double x) {
    const double approx = approxValue(x);
    return x > 0 ? std::floor(approx) : std::ceil(approx);
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

// A corner of a reference inside a defined name: its relative parts count from the cell that
// uses the name (the name's formula is written as seen from A1), wrapping around the sheet.
sheet::CellPos fromUsingCell(const RefCorner& corner, sheet::CellPos cell) {
    sheet::CellPos p = corner.pos;
    if (!corner.rowAbs) {
        p.row = (p.row + cell.row) % sheet::kMaxRows;
    }
    if (!corner.colAbs) {
        p.col = (p.col + cell.col) % sheet::kMaxColumns;
    }
    return p;
}

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

    // The cells a reference node stands for. Inside a defined name, relative parts are taken from
    // the cell whose formula uses the name.
    Area areaOf(const Node& n) const {
        if (m_nameDepth == 0) {
            return n.area();
        }
        const CellPos a = fromUsingCell(n.first, m_ctx.cell);
        const CellPos b = n.kind == NodeKind::Ref ? a : fromUsingCell(n.last, m_ctx.cell);
        return Area{CellPos{std::min(a.row, b.row), std::min(a.col, b.col)},
                    CellPos{std::max(a.row, b.row), std::max(a.col, b.col)}};
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
            return reference(sheetOf(n.sheet), areaOf(n));
        case NodeKind::RefError:
        case NodeKind::AreaError:
            return scalar(ErrorCode::Ref);
        case NodeKind::Name:
            return evalName(n);
        case NodeKind::Paren:
            return eval(*n.args[0]);
        case NodeKind::Unary:
            // Unary plus changes nothing, not even a text or a reference: +"abc" is "abc".
            if (n.unaryOp == UnaryOp::Plus) {
                return eval(*n.args[0]);
            }
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
            return v;
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
        const Operand left = eval(*n.args[0]);
        const Operand right = eval(*n.args[1]);
        const Value a = toScalar(left);
        const Value b = toScalar(right);
        if (a.isError()) {
            return a;
        }
        if (b.isError()) {
            // Arithmetic (+ - * / ^) reads its left operand first: a text that is no number, in a
            // cell, makes it #VALUE! before the error of another cell is met. An error the formula
            // computes itself comes first all the same.
            if (n.binaryOp <= BinaryOp::Pow && left.isRef && right.isRef && a.isText() && !textToNumber(a.text())) {
                return ErrorCode::Value;
            }
            return b;
        }
        switch (n.binaryOp) {
        case BinaryOp::Concat: {
            std::string text = toText(a) + toText(b);
            if (utf16Length(text) > kMaxTextLength) {
                return ErrorCode::Value;
            }
            return text;
        }
        case BinaryOp::Eq:
            return equalValues(a, b);
        case BinaryOp::Ne:
            return !equalValues(a, b);
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
            return numberResult(approxAdd(*x, *y));
        case BinaryOp::Sub:
            return numberResult(approxSub(*x, *y));
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
        const Fn fn = functionOf(n.text);
        switch (fn) {
        case Fn::If:
            return evalIf(n);
        case Fn::Or:
        case Fn::And:
            return scalar(evalLogical(n, fn == Fn::And));
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
        case Fn::CountA:
        case Fn::Average:
        case Fn::Max:
        case Fn::Min:
            return scalar(evalAggregate(n, fn));
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
    // ignored); direct arguments must be conditions, and an omitted one is FALSE. No condition at
    // all is #VALUE!. An error makes the result the first argument's error.
    Value evalLogical(const Node& n, bool isAnd) {
        bool any = false;
        bool result = isAnd;
        std::optional<ErrorCode> error;
        const auto take = [&](bool b) {
            any = true;
            result = isAnd ? (result && b) : (result || b);
        };
        for (const NodePtr& arg : n.args) {
            if (arg->kind == NodeKind::Missing) {
                take(false);
                continue;
            }
            const Operand o = eval(*arg);
            if (o.isRef) {
                m_ctx.cells->forEach(o.sheet, o.area, [&](const AreaCell& c) {
                    const Value& v = c.value;
                    if (error) {
                        return;
                    }
                    if (v.isError()) {
                        error = v.error();
                    } else if (v.isNumber() || v.isBoolean()) {
                        take(v.isNumber() ? v.number() != 0 : v.boolean());
                    }
                });
            } else {
                ErrorCode e = ErrorCode::Value;
                const auto b = toBoolean(o.value, e);
                if (!b) {
                    return e;
                }
                take(*b);
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

    // Adds the numbers of an area to a sum as SUM does (AreaTotals); the first error met is the
    // result.
    std::optional<ErrorCode> sumArea(int sheetIndex, const Area& area, CompensatedSum& total) {
        const AreaTotals totals = totalsOf(sheetIndex, area);
        if (!totals.error()) {
            total.add(totals.sum());
        }
        return totals.error();
    }

    AreaTotals totalsOf(int sheetIndex, const Area& area) {
        AreaTotals totals(area, m_run);
        m_ctx.cells->forEachBlock(sheetIndex, area, [&](AreaCells block) { totals.add(block); });
        totals.finish();
        return totals;
    }

    // SUM, COUNT, COUNTA, AVERAGE, MAX, MIN. In references only numbers count (COUNTA counts
    // every cell that holds something); direct arguments are converted (TRUE is 1, "3" is 3),
    // and an omitted one is the number 0. The numbers are accumulated from the last argument to
    // the first, the order LibreOffice adds them in. An error makes the result the first
    // argument's error (in a range, the first by columns); COUNT and COUNTA skip errors.
    Value evalAggregate(const Node& n, Fn fn) {
        if (n.args.size() != 1 || n.args[0]->kind == NodeKind::Missing) {
            return aggregate(n, fn, nullptr);
        }
        // A function of one area: the cell source may know its result (the summaries under a
        // column, a row's total read twice).
        const Operand o = eval(*n.args[0]);
        if (!o.isRef) {
            return aggregate(n, fn, &o);
        }
        if (o.area.first == o.area.last) {
            return aggregate(n, fn, &o);
        }
        const int slot = fn == Fn::Sum       ? 0
                         : fn == Fn::Count   ? 1
                         : fn == Fn::CountA  ? 2
                         : fn == Fn::Average ? 3
                         : fn == Fn::Max     ? 4
                                             : 5;
        if (const Value* kept = m_ctx.cells->keptResult(o.sheet, o.area, slot)) {
            return *kept;
        }
        // One visit gives all six functions of the area, each what aggregate() computes.
        const AreaTotals totals = totalsOf(o.sheet, o.area);
        std::array<Value, CellSource::kResultSlots> results;
        if (totals.error()) {
            results[0] = results[3] = results[4] = results[5] = *totals.error();
        } else {
            CompensatedSum sum;
            sum.add(totals.sum());
            results[0] = numberResult(sum.result());
            CompensatedSum plain = totals.plainSum();
            results[3] = totals.count() == 0 ? Value(ErrorCode::Div0) : numberResult(plain.result() / totals.count());
            results[4] = totals.hasNumbers() ? numberResult(totals.max()) : Value(0.0);
            results[5] = totals.hasNumbers() ? numberResult(totals.min()) : Value(0.0);
        }
        results[1] = totals.count();
        results[2] = totals.countA();
        for (int i = 0; i < CellSource::kResultSlots; ++i) {
            m_ctx.cells->keepResult(o.sheet, o.area, i, results[static_cast<std::size_t>(i)]);
        }
        return results[static_cast<std::size_t>(slot)];
    }

    // `only`: the operand of the one argument, already evaluated.
    Value aggregate(const Node& n, Fn fn, const Operand* only) {
        CompensatedSum sum;
        double count = 0;
        double best = 0;
        bool haveBest = false;
        std::optional<ErrorCode> error;
        const bool counting = fn == Fn::Count || fn == Fn::CountA;
        const bool summing = fn == Fn::Sum || fn == Fn::Average;
        const auto take = [&](double x) {
            if (summing) {
                sum.add(x);
            }
            count += 1;
            if (!haveBest || (fn == Fn::Max ? x > best : x < best)) {
                best = x;
                haveBest = true;
            }
        };
        for (auto it = n.args.rbegin(); it != n.args.rend(); ++it) {
            const Node& arg = **it;
            if (arg.kind == NodeKind::Missing) {
                take(0);
                continue;
            }
            const Operand o = only ? *only : eval(arg);
            std::optional<ErrorCode> argError;
            if (o.isRef && fn == Fn::Sum && o.area.first != o.area.last) {
                argError = sumArea(o.sheet, o.area, sum);
            } else if (o.isRef) {
                m_ctx.cells->forEachBlock(o.sheet, o.area, [&](AreaCells block) {
                    for (const AreaCell& c : block) {
                        if (argError) {
                            return;
                        }
                        if (fn == Fn::CountA || c.value.isNumber()) {
                            take(c.value.number());
                        } else if (c.value.isError() && !counting) {
                            argError = c.value.error();
                        }
                    }
                });
            } else if (fn == Fn::CountA) {
                take(0);
            } else {
                ErrorCode e = ErrorCode::Value;
                const auto x = o.value.isEmpty() ? std::optional<double>(0.0) : toNumber(o.value, e);
                if (x) {
                    take(*x);
                } else if (!counting) {
                    argError = e;
                }
            }
            if (argError) {
                error = argError; // an earlier argument's error replaces a later one's
            }
        }
        if (error) {
            return *error;
        }
        switch (fn) {
        case Fn::Sum:
            return numberResult(sum.result());
        case Fn::Count:
        case Fn::CountA:
            return count;
        case Fn::Average:
            if (count == 0) {
                return ErrorCode::Div0;
            }
            return numberResult(sum.result() / count);
        default:
            return haveBest ? numberResult(best) : Value(0.0);
        }
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
        const double digits = wholeArgument(*d);
        if (!(digits >= -32768 && digits <= 32767)) {
            return ErrorCode::Value;
        }
        return numberResult(roundHalfAway(*x, static_cast<int>(digits)));
    }

    // HLOOKUP / VLOOKUP. Approximate matching assumes the first row (column) ascending and takes
    // the last entry of the key's type that is not greater than the key; exact matching takes
    // the first equal entry. Numbers match when equal to 15 significant digits, texts ignoring
    // case; an exact match takes the wildcards of a text key (wildcardMatch).
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
        const bool wild = !approximate && key.isText() && hasWildcards(key.text());
        std::optional<int> found;
        for (int i = 0; i < length; ++i) {
            const CellPos p =
                horizontal ? CellPos{a.first.row, a.first.col + i} : CellPos{a.first.row + i, a.first.col};
            const Value v = m_ctx.cells->value(table.sheet, p);
            if (v.type() != key.type()) {
                continue;
            }
            if (approximate) {
                if (compareValues(v, key) <= 0) {
                    found = i;
                }
            } else if (wild ? wildcardMatch(key.text(), v.text()) : equalValues(v, key)) {
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
    std::vector<double> m_run; // the numeric constants of a column that sumArea is collecting
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
