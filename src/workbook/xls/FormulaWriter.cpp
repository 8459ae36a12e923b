#include "FormulaWriter.h"

#include "FunctionTable.h"
#include "Strings.h"

#include <cmath>

namespace markwell::xls {

namespace {

using formula::Node;

[[noreturn]] void unsupported(const std::string& message) {
    throw XlsError(XlsErrorKind::Unsupported, message);
}

// Operand classes as the token's top bits say them.
enum class Cls { Ref = 0x20, Value = 0x40, Array = 0x60 };

Cls classFor(char c) {
    return c == 'R' ? Cls::Ref : c == 'A' ? Cls::Array : Cls::Value;
}

class Encoder {
public:
    explicit Encoder(const FormulaWriteContext& context) : m_ctx(context) {
        m_out.data().reserve(kTypicalTokens); // a cell formula's tokens, without regrowing
    }
    Bytes take() { return std::move(m_out.data()); }
    void encode(const Node& n, Cls cls, int depth);

private:
    void colField(const formula::RefCorner& c) {
        m_out.u16((static_cast<unsigned>(c.pos.col) & 0xFF) | (c.rowAbs ? 0 : 0x8000) | (c.colAbs ? 0 : 0x4000));
    }
    void checkCorner(const formula::RefCorner& c) {
        if (c.pos.row < 0 || c.pos.row > 65535 || c.pos.col < 0 || c.pos.col > 255) {
            unsupported("A reference lies outside the 65536 rows and 256 columns of a sheet.");
        }
    }
    bool threeD(int sheet) const { return m_ctx.forName || sheet >= 0; }
    void function(const Node& n, int depth);

    static constexpr std::size_t kTypicalTokens = 128;
    const FormulaWriteContext& m_ctx;
    ByteWriter m_out;
};

void Encoder::function(const Node& n, int depth) {
    const std::string& name = n.text;
    const auto& args = n.args;
    std::uint16_t index = 0;
    const FunctionInfo* info = functionByName(name);
    if (name == "IF" && args.size() == 1) {
        // IF(condition) gives TRUE or FALSE, exactly as IF(condition,TRUE) does; the format's IF
        // takes two or three arguments, so it is written that way, as other writers do.
        Node full = n;
        full.args.push_back(formula::makeBoolean(true));
        function(full, depth);
        return;
    }
    if (info) {
        index = info->index;
        if (args.size() < info->minArgs || args.size() > info->maxArgs) {
            unsupported("The function " + name + " is called with " + std::to_string(args.size()) +
                        " arguments; it takes " + std::to_string(info->minArgs) +
                        (info->fixed() ? "" : " to " + std::to_string(info->maxArgs)) + ".");
        }
    } else if (name.rfind(kUnknownFunctionPrefix, 0) == 0 && name.size() > kUnknownFunctionPrefix.size() &&
               name.size() <= kUnknownFunctionPrefix.size() + 5) {
        // A function read from a file that our table does not name: written back by its number.
        unsigned number = 0;
        for (char c : name.substr(kUnknownFunctionPrefix.size())) {
            if (c < '0' || c > '9') {
                unsupported("The function " + name + " is not known to the .xls format.");
            }
            number = number * 10 + static_cast<unsigned>(c - '0');
        }
        if (number > 0x7FFF) {
            unsupported("The function " + name + " is not known to the .xls format.");
        }
        index = static_cast<std::uint16_t>(number);
    } else if (auto link = m_ctx.externalFunction ? m_ctx.externalFunction(name) : std::nullopt) {
        // An add-in or newer function: its name first, then the arguments, then call 255.
        if (args.size() > 29) {
            unsupported("The function " + name + " has more than 29 arguments.");
        }
        m_out.u8(0x39);
        m_out.u16(link->first);
        m_out.u16(link->second);
        m_out.u16(0);
        for (const auto& a : args) {
            encode(*a, Cls::Ref, depth + 1);
        }
        m_out.u8(0x42);
        m_out.u8(static_cast<unsigned>(args.size() + 1));
        m_out.u16(kExternalFunction);
        return;
    } else {
        unsupported("The function " + name + " is not known to the .xls format.");
    }
    if (args.size() > 30) {
        unsupported("The function " + name + " has more than 30 arguments.");
    }
    auto argClass = [&](std::size_t i) { return info ? classFor(info->paramClass(i)) : Cls::Ref; };

    if (name == "IF" && info) {
        // condition, jump to the false part, true part, jump to the end, false part, jump to the end.
        encode(*args[0], Cls::Value, depth + 1);
        m_out.u8(0x19);
        m_out.u8(0x02);
        const std::size_t ifAt = m_out.size();
        m_out.u16(0);
        encode(*args[1], Cls::Value, depth + 1);
        std::vector<std::size_t> gotos;
        m_out.u8(0x19);
        m_out.u8(0x08);
        gotos.push_back(m_out.size());
        m_out.u16(0);
        m_out.put16(ifAt, static_cast<unsigned>(m_out.size() - (ifAt + 2)));
        if (args.size() == 3) {
            encode(*args[2], Cls::Value, depth + 1);
            m_out.u8(0x19);
            m_out.u8(0x08);
            gotos.push_back(m_out.size());
            m_out.u16(0);
        }
        const std::size_t end = m_out.size() + 4; // after the function token
        for (std::size_t at : gotos) {
            m_out.put16(at, static_cast<unsigned>(end - (at + 2) - 1));
        }
        m_out.u8(0x42);
        m_out.u8(static_cast<unsigned>(args.size()));
        m_out.u16(index);
        return;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        encode(*args[i], argClass(i), depth + 1);
    }
    if (info && info->fixed()) {
        m_out.u8(0x41);
        m_out.u16(index);
    } else {
        m_out.u8(0x42);
        m_out.u8(static_cast<unsigned>(args.size()));
        m_out.u16(index);
    }
}

void Encoder::encode(const Node& n, Cls cls, int depth) {
    if (depth > formula::kMaxDepth) {
        unsupported("The formula nests too deeply.");
    }
    using K = formula::NodeKind;
    if (m_ctx.arrayFormula && cls == Cls::Value) {
        cls = Cls::Array; // an array formula works on whole areas where others take one value
    }
    const auto c = static_cast<unsigned>(cls);
    switch (n.kind) {
    case K::Number: {
        const double v = n.number;
        if (!std::isfinite(v)) {
            unsupported("The formula holds a number that is not finite.");
        }
        if (v >= 0 && v <= 65535 && v == std::floor(v) && !(v == 0 && std::signbit(v))) {
            m_out.u8(0x1E);
            m_out.u16(static_cast<unsigned>(v));
        } else {
            m_out.u8(0x1F);
            m_out.f64(v);
        }
        break;
    }
    case K::Text: {
        const std::u16string units = utf8ToUtf16(n.text);
        if (units.size() > 255) {
            unsupported("A text in the formula is longer than 255 characters.");
        }
        m_out.u8(0x17);
        writeUnicodeString8(m_out, units);
        break;
    }
    case K::Boolean:
        m_out.u8(0x1D);
        m_out.u8(n.boolean ? 1 : 0);
        break;
    case K::Error:
        m_out.u8(0x1C);
        m_out.u8(static_cast<unsigned>(n.error));
        break;
    case K::Missing:
        m_out.u8(0x16);
        break;
    case K::Ref: {
        const formula::RefCorner& k = n.first;
        checkCorner(k);
        const int sheet = n.sheet;
        if (threeD(sheet)) {
            m_out.u8(0x1A | c);
            m_out.u16(m_ctx.externSheet(sheet < 0 ? m_ctx.sheet : sheet));
        } else {
            m_out.u8(0x04 | c);
        }
        m_out.u16(static_cast<unsigned>(k.pos.row));
        colField(k);
        break;
    }
    case K::AreaRef: {
        const formula::RefCorner& first = n.first;
        const formula::RefCorner& last = n.last;
        checkCorner(first);
        checkCorner(last);
        const int sheet = n.sheet;
        if (threeD(sheet)) {
            m_out.u8(0x1B | c);
            m_out.u16(m_ctx.externSheet(sheet < 0 ? m_ctx.sheet : sheet));
        } else {
            m_out.u8(0x05 | c);
        }
        m_out.u16(static_cast<unsigned>(first.pos.row));
        m_out.u16(static_cast<unsigned>(last.pos.row));
        colField(first);
        colField(last);
        break;
    }
    case K::RefError:
        if (m_ctx.forName) {
            m_out.u8(0x1C | c);
            m_out.u16(m_ctx.externSheet(m_ctx.sheet));
        } else {
            m_out.u8(0x0A | c);
        }
        m_out.zeros(4);
        break;
    case K::AreaError:
        if (m_ctx.forName) {
            m_out.u8(0x1D | c);
            m_out.u16(m_ctx.externSheet(m_ctx.sheet));
        } else {
            m_out.u8(0x0B | c);
        }
        m_out.zeros(8);
        break;
    case K::Name: {
        const std::string& name = n.text;
        const unsigned index = m_ctx.nameIndex ? m_ctx.nameIndex(name) : 0;
        if (index == 0) {
            unsupported("The formula uses the name \"" + name + "\", which the workbook does not define.");
        }
        m_out.u8(0x03 | c);
        m_out.u16(index);
        m_out.u16(0);
        break;
    }
    case K::Unary: {
        encode(*n.args[0], Cls::Value, depth + 1);
        switch (n.unaryOp) {
        case formula::UnaryOp::Plus:
            m_out.u8(0x12);
            break;
        case formula::UnaryOp::Minus:
            m_out.u8(0x13);
            break;
        case formula::UnaryOp::Percent:
            m_out.u8(0x14);
            break;
        }
        break;
    }
    case K::Binary: {
        if (n.binaryOp == formula::BinaryOp::Union) {
            // A list of areas (print titles): wrapped in ptgMemFunc as other writers do.
            m_out.u8(0x29);
            const std::size_t at = m_out.size();
            m_out.u16(0);
            encode(*n.args[0], Cls::Ref, depth + 1);
            encode(*n.args[1], Cls::Ref, depth + 1);
            m_out.u8(0x10);
            m_out.put16(at, static_cast<unsigned>(m_out.size() - (at + 2)));
            break;
        }
        encode(*n.args[0], Cls::Value, depth + 1);
        encode(*n.args[1], Cls::Value, depth + 1);
        using B = formula::BinaryOp;
        switch (n.binaryOp) {
        case B::Add:
            m_out.u8(0x03);
            break;
        case B::Sub:
            m_out.u8(0x04);
            break;
        case B::Mul:
            m_out.u8(0x05);
            break;
        case B::Div:
            m_out.u8(0x06);
            break;
        case B::Pow:
            m_out.u8(0x07);
            break;
        case B::Concat:
            m_out.u8(0x08);
            break;
        case B::Lt:
            m_out.u8(0x09);
            break;
        case B::Le:
            m_out.u8(0x0A);
            break;
        case B::Eq:
            m_out.u8(0x0B);
            break;
        case B::Ge:
            m_out.u8(0x0C);
            break;
        case B::Gt:
            m_out.u8(0x0D);
            break;
        case B::Ne:
            m_out.u8(0x0E);
            break;
        case B::Union:
            break;
        }
        break;
    }
    case K::Paren:
        encode(*n.args[0], cls, depth + 1);
        m_out.u8(0x15);
        break;
    case K::Function:
        function(n, depth);
        break;
    }
}

} // namespace

bool isExternalFunction(const std::string& upperName) {
    return !upperName.empty() && !functionByName(upperName) && upperName.rfind(kUnknownFunctionPrefix, 0) != 0;
}

std::string externalFunctionName(const std::string& upperName) {
    static const char* const newer[] = {"IFERROR",  "IFNA",   "SUMIFS",     "COUNTIFS",  "AVERAGEIF", "AVERAGEIFS",
                                        "IFS",      "MAXIFS", "MINIFS",     "SWITCH",    "XOR",       "CONCAT",
                                        "TEXTJOIN", "DAYS",   "ISOWEEKNUM", "AGGREGATE", "STDEV.S",   "STDEV.P",
                                        "VAR.S",    "VAR.P",  "MODE.SNGL",  "NORM.DIST", "RANK.EQ",   "RANK.AVG"};
    for (const char* n : newer) {
        if (upperName == n) {
            return "_xlfn." + upperName;
        }
    }
    return upperName;
}

Bytes encodeFormula(const formula::Node& root, const FormulaWriteContext& context) {
    Encoder e(context);
    e.encode(root, context.forName ? Cls::Ref : Cls::Value, 0);
    Bytes out = e.take();
    if (out.size() > 1800) {
        unsupported("The formula is longer than the 1800 bytes a BIFF8 formula may take.");
    }
    return out;
}

} // namespace markwell::xls
