#include "workbook/formula/Parser.h"

#include "workbook/sheet/Workbook.h"

#include <optional>

namespace markwell::formula {

namespace {

constexpr std::size_t kMaxFormulaLength = 8192;

bool isAllDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// "$B" or "B": a whole-column corner.
std::optional<RefCorner> parseColumnCorner(std::string_view word) {
    RefCorner corner;
    if (!word.empty() && word[0] == '$') {
        corner.colAbs = true;
        word.remove_prefix(1);
    }
    const auto col = sheet::parseColumnName(word);
    if (!col) {
        return std::nullopt;
    }
    corner.pos.col = *col;
    return corner;
}

// "$12" or "12": a whole-row corner.
std::optional<RefCorner> parseRowCorner(std::string_view word) {
    RefCorner corner;
    if (!word.empty() && word[0] == '$') {
        corner.rowAbs = true;
        word.remove_prefix(1);
    }
    if (!isAllDigits(word) || word.size() > 5 || word[0] == '0') {
        return std::nullopt;
    }
    const int row = std::stoi(std::string(word));
    if (row < 1 || row > sheet::kMaxRows) {
        return std::nullopt;
    }
    corner.pos.row = row - 1;
    return corner;
}

std::optional<RefCorner> parseCellCorner(std::string_view word) {
    const auto a1 = sheet::parseA1(word);
    if (!a1) {
        return std::nullopt;
    }
    return RefCorner{a1->pos, a1->rowAbs, a1->colAbs};
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const ParseOptions& options) : m_tokens(std::move(tokens)), m_options(options) {}

    NodePtr parseAll() {
        NodePtr root = m_options.allowUnion ? parseUnion() : parseExpression();
        if (peek().kind != TokenKind::End) {
            fail("Unexpected " + describe(peek()));
        }
        return root;
    }

private:
    const Token& peek(std::size_t ahead = 0) const {
        const std::size_t i = std::min(m_pos + ahead, m_tokens.size() - 1);
        return m_tokens[i];
    }
    const Token& next() {
        const Token& t = m_tokens[m_pos];
        if (m_pos + 1 < m_tokens.size()) {
            ++m_pos;
        }
        return t;
    }
    bool isOperator(const char* op) const { return peek().kind == TokenKind::Operator && peek().text == op; }

    [[noreturn]] void fail(const std::string& what) const {
        throw FormulaSyntaxError(what + " at character " + std::to_string(peek().offset + 1) + '.');
    }

    static std::string describe(const Token& t) {
        switch (t.kind) {
        case TokenKind::End:
            return "end of the formula";
        case TokenKind::RParen:
            return "\")\"";
        case TokenKind::LParen:
            return "\"(\"";
        case TokenKind::Comma:
            return "\",\"";
        case TokenKind::Colon:
            return "\":\"";
        case TokenKind::String:
            return "text \"" + t.text + '"';
        case TokenKind::SheetPrefix:
            return "sheet name \"" + t.text + '"';
        default:
            return '"' + t.text + '"';
        }
    }

    // Each nesting level (parentheses, function arguments, unary signs) goes through here.
    struct DepthGuard {
        explicit DepthGuard(Parser& p) : parser(p) {
            if (++parser.m_depth > kMaxDepth / 2) {
                parser.fail("The formula nests too deeply");
            }
        }
        ~DepthGuard() { --parser.m_depth; }
        Parser& parser;
    };

    NodePtr parseUnion() {
        NodePtr left = parseExpression();
        while (peek().kind == TokenKind::Comma) {
            next();
            left = makeBinary(BinaryOp::Union, left, parseExpression());
        }
        return left;
    }

    NodePtr parseExpression() { return parseComparison(); }

    NodePtr parseComparison() {
        NodePtr left = parseConcat();
        for (;;) {
            std::optional<BinaryOp> op;
            if (isOperator("=")) {
                op = BinaryOp::Eq;
            } else if (isOperator("<>")) {
                op = BinaryOp::Ne;
            } else if (isOperator("<")) {
                op = BinaryOp::Lt;
            } else if (isOperator("<=")) {
                op = BinaryOp::Le;
            } else if (isOperator(">")) {
                op = BinaryOp::Gt;
            } else if (isOperator(">=")) {
                op = BinaryOp::Ge;
            }
            if (!op) {
                return left;
            }
            next();
            left = makeBinary(*op, left, parseConcat());
        }
    }

    NodePtr parseConcat() {
        NodePtr left = parseAdditive();
        while (isOperator("&")) {
            next();
            left = makeBinary(BinaryOp::Concat, left, parseAdditive());
        }
        return left;
    }

    NodePtr parseAdditive() {
        NodePtr left = parseMultiplicative();
        while (isOperator("+") || isOperator("-")) {
            const BinaryOp op = next().text == "+" ? BinaryOp::Add : BinaryOp::Sub;
            left = makeBinary(op, left, parseMultiplicative());
        }
        return left;
    }

    NodePtr parseMultiplicative() {
        NodePtr left = parsePower();
        while (isOperator("*") || isOperator("/")) {
            const BinaryOp op = next().text == "*" ? BinaryOp::Mul : BinaryOp::Div;
            left = makeBinary(op, left, parsePower());
        }
        return left;
    }

    // '^' is left-associative in spreadsheets: 2^3^2 is 64.
    NodePtr parsePower() {
        NodePtr left = parseUnary();
        while (isOperator("^")) {
            next();
            left = makeBinary(BinaryOp::Pow, left, parseUnary());
        }
        return left;
    }

    // A sign binds tighter than '^': -2^2 is 4.
    NodePtr parseUnary() {
        if (isOperator("-") || isOperator("+")) {
            DepthGuard guard(*this);
            const UnaryOp op = next().text == "-" ? UnaryOp::Minus : UnaryOp::Plus;
            return makeUnary(op, parseUnary());
        }
        return parsePostfix();
    }

    NodePtr parsePostfix() {
        NodePtr operand = parsePrimary();
        while (isOperator("%")) {
            next();
            operand = makeUnary(UnaryOp::Percent, operand);
        }
        return operand;
    }

    int resolveSheet(const Token& prefix) const {
        if (!m_options.workbook) {
            fail("A reference to the sheet \"" + prefix.text + "\" cannot be used here");
        }
        const int index = m_options.workbook->sheetIndex(prefix.text);
        if (index < 0) {
            fail("There is no sheet named \"" + prefix.text + '"');
        }
        return index;
    }

    NodePtr parsePrimary() {
        const Token& t = peek();
        switch (t.kind) {
        case TokenKind::Number: {
            // "12:14" is a range of whole rows.
            if (peek(1).kind == TokenKind::Colon) {
                if (auto ref = parseReference(-1)) {
                    return ref;
                }
            }
            next();
            return makeNumber(t.number);
        }
        case TokenKind::String: {
            std::string text = next().text;
            return makeText(std::move(text));
        }
        case TokenKind::Error: {
            const sheet::ErrorCode code = next().error;
            return code == sheet::ErrorCode::Ref ? makeRefError() : makeError(code);
        }
        case TokenKind::LParen: {
            DepthGuard guard(*this);
            next();
            NodePtr inner = parseUnion();
            if (peek().kind != TokenKind::RParen) {
                fail("Expected \")\" but found " + describe(peek()));
            }
            next();
            return makeParen(inner);
        }
        case TokenKind::SheetPrefix: {
            const Token prefix = next();
            const int sheetIndex = resolveSheet(prefix);
            if (peek().kind == TokenKind::Error && peek().error == sheet::ErrorCode::Ref) {
                next();
                return makeRefError(sheetIndex);
            }
            if (auto ref = parseReference(sheetIndex)) {
                return ref;
            }
            fail("Expected a cell reference after the sheet name \"" + prefix.text + '"');
        }
        case TokenKind::Word:
            return parseWord();
        default:
            fail("Unexpected " + describe(t));
        }
    }

    // A reference starting at the current token: a cell, an area, whole columns or rows. Leaves
    // the position unchanged and gives null when the tokens are no reference.
    NodePtr parseReference(int sheetIndex) {
        const Token& a = peek();
        const bool hasColon = peek(1).kind == TokenKind::Colon;
        const Token& b = peek(2);
        const bool bIsWord = b.kind == TokenKind::Word || b.kind == TokenKind::Number;
        if (a.kind == TokenKind::Word) {
            if (auto cell = parseCellCorner(a.text)) {
                if (hasColon && bIsWord) {
                    if (auto other = parseCellCorner(b.text)) {
                        m_pos += 3;
                        return makeArea(*cell, *other, sheetIndex);
                    }
                }
                next();
                return makeRef(*cell, sheetIndex);
            }
        }
        if (!hasColon || !bIsWord || (a.kind != TokenKind::Word && a.kind != TokenKind::Number)) {
            return nullptr;
        }
        if (auto c1 = parseColumnCorner(a.text)) {
            if (auto c2 = parseColumnCorner(b.text)) {
                m_pos += 3;
                RefCorner top = *c1, bottom = *c2;
                top.pos.row = 0;
                bottom.pos.row = sheet::kMaxRows - 1;
                top.rowAbs = bottom.rowAbs = true;
                return makeArea(top, bottom, sheetIndex);
            }
        }
        if (auto r1 = parseRowCorner(a.text)) {
            if (auto r2 = parseRowCorner(b.text)) {
                m_pos += 3;
                RefCorner left = *r1, right = *r2;
                left.pos.col = 0;
                right.pos.col = sheet::kMaxColumns - 1;
                left.colAbs = right.colAbs = true;
                return makeArea(left, right, sheetIndex);
            }
        }
        return nullptr;
    }

    NodePtr parseWord() {
        const Token& t = peek();
        if (peek(1).kind == TokenKind::LParen) {
            return parseFunction();
        }
        if (auto ref = parseReference(-1)) {
            return ref;
        }
        const std::string upper = sheet::upperAscii(t.text);
        next();
        if (upper == "TRUE") {
            return makeBoolean(true);
        }
        if (upper == "FALSE") {
            return makeBoolean(false);
        }
        const char first = t.text[0];
        if (!((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z') || first == '_' || first == '\\' ||
              static_cast<unsigned char>(first) >= 0x80) ||
            t.text.find('$') != std::string::npos) {
            --m_pos;
            fail("\"" + t.text + "\" is neither a cell reference nor a name");
        }
        return makeName(t.text);
    }

    NodePtr parseFunction() {
        DepthGuard guard(*this);
        std::string name = sheet::upperAscii(next().text);
        next(); // '('
        std::vector<NodePtr> args;
        if (peek().kind == TokenKind::RParen) {
            next();
            return makeFunction(std::move(name), std::move(args));
        }
        for (;;) {
            if (peek().kind == TokenKind::Comma || peek().kind == TokenKind::RParen) {
                args.push_back(makeMissing());
            } else {
                args.push_back(parseExpression());
            }
            if (peek().kind == TokenKind::Comma) {
                next();
                continue;
            }
            if (peek().kind == TokenKind::RParen) {
                next();
                break;
            }
            fail("Expected \",\" or \")\" in the arguments of " + name + " but found " + describe(peek()));
        }
        if (args.size() > 255) {
            fail("The function " + name + " has more than 255 arguments");
        }
        return makeFunction(std::move(name), std::move(args));
    }

    std::vector<Token> m_tokens;
    const ParseOptions& m_options;
    std::size_t m_pos = 0;
    int m_depth = 0;
};

} // namespace

NodePtr parseFormula(std::string_view text, const ParseOptions& options) {
    std::size_t base = 0;
    if (!text.empty() && text[0] == '=') {
        text.remove_prefix(1);
        base = 1;
    }
    if (text.size() > kMaxFormulaLength) {
        throw FormulaSyntaxError("The formula is longer than " + std::to_string(kMaxFormulaLength) + " characters.");
    }
    std::vector<Token> tokens = tokenize(text, base);
    if (tokens.size() == 1) {
        throw FormulaSyntaxError("The formula is empty.");
    }
    Parser parser(std::move(tokens), options);
    NodePtr root = parser.parseAll();
    if (depth(root) > kMaxDepth) {
        throw FormulaSyntaxError("The formula nests too deeply.");
    }
    return root;
}

} // namespace markwell::formula
