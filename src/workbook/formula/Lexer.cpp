#include "workbook/formula/Lexer.h"

#include <charconv>
#include <cstdlib>

namespace markwell::formula {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isWordChar(char c) {
    return isLetter(c) || isDigit(c) || c == '_' || c == '.' || c == '$' || c == '\\' ||
           static_cast<unsigned char>(c) >= 0x80;
}

} // namespace

std::vector<Token> tokenize(std::string_view text, std::size_t base) {
    auto fail = [base](const std::string& what, std::size_t offset) {
        throw FormulaSyntaxError(what + " at character " + std::to_string(base + offset + 1) + '.');
    };
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        Token t;
        t.offset = i;
        if (isDigit(c) || (c == '.' && i + 1 < text.size() && isDigit(text[i + 1]))) {
            std::size_t j = i;
            while (j < text.size() && isDigit(text[j])) {
                ++j;
            }
            if (j < text.size() && text[j] == '.') {
                ++j;
                while (j < text.size() && isDigit(text[j])) {
                    ++j;
                }
            }
            if (j < text.size() && (text[j] == 'e' || text[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < text.size() && (text[k] == '+' || text[k] == '-')) {
                    ++k;
                }
                if (k < text.size() && isDigit(text[k])) {
                    while (k < text.size() && isDigit(text[k])) {
                        ++k;
                    }
                    j = k;
                }
            }
            // A run such as "12ab" is no number; let it be a word (which will not be a valid one).
            if (j < text.size() && (isLetter(text[j]) || text[j] == '_')) {
                fail("Unexpected \"" + std::string(1, text[j]) + "\" after a number", j);
            }
            t.kind = TokenKind::Number;
            t.text = std::string(text.substr(i, j - i));
            const auto result = std::from_chars(t.text.data(), t.text.data() + t.text.size(), t.number);
            if (result.ec != std::errc{}) {
                fail("The number " + t.text + " is out of range", i);
            }
            i = j;
        } else if (c == '"') {
            std::size_t j = i + 1;
            for (;;) {
                if (j >= text.size()) {
                    fail("A text in quotes is not closed", i);
                }
                if (text[j] == '"') {
                    if (j + 1 < text.size() && text[j + 1] == '"') {
                        t.text += '"';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                t.text += text[j++];
            }
            if (t.text.size() > 255) {
                fail("A text in a formula may have at most 255 characters", i);
            }
            t.kind = TokenKind::String;
            i = j;
        } else if (c == '#') {
            std::size_t best = 0;
            for (std::size_t len = 2; len <= 7 && i + len <= text.size(); ++len) {
                if (auto code = sheet::errorFromText(text.substr(i, len))) {
                    best = len;
                    t.error = *code;
                }
            }
            if (best == 0) {
                fail("Unknown error value", i);
            }
            t.kind = TokenKind::Error;
            t.text = std::string(text.substr(i, best));
            i += best;
        } else if (c == '\'') {
            std::size_t j = i + 1;
            for (;;) {
                if (j >= text.size()) {
                    fail("A sheet name in quotes is not closed", i);
                }
                if (text[j] == '\'') {
                    if (j + 1 < text.size() && text[j + 1] == '\'') {
                        t.text += '\'';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                t.text += text[j++];
            }
            if (j >= text.size() || text[j] != '!') {
                fail("A sheet name in quotes must be followed by \"!\"", j);
            }
            t.kind = TokenKind::SheetPrefix;
            i = j + 1;
        } else if (isWordChar(c)) {
            std::size_t j = i;
            while (j < text.size() && isWordChar(text[j])) {
                ++j;
            }
            t.text = std::string(text.substr(i, j - i));
            if (j < text.size() && text[j] == '!') {
                t.kind = TokenKind::SheetPrefix;
                ++j;
            } else {
                t.kind = TokenKind::Word;
            }
            i = j;
        } else if (c == '(') {
            t.kind = TokenKind::LParen;
            ++i;
        } else if (c == ')') {
            t.kind = TokenKind::RParen;
            ++i;
        } else if (c == ',') {
            t.kind = TokenKind::Comma;
            ++i;
        } else if (c == ':') {
            t.kind = TokenKind::Colon;
            ++i;
        } else if (c == '<' || c == '>') {
            t.kind = TokenKind::Operator;
            t.text = std::string(1, c);
            if (i + 1 < text.size() && (text[i + 1] == '=' || (c == '<' && text[i + 1] == '>'))) {
                t.text += text[i + 1];
            }
            i += t.text.size();
        } else if (c == '+' || c == '-' || c == '*' || c == '/' || c == '^' || c == '&' || c == '=' || c == '%') {
            t.kind = TokenKind::Operator;
            t.text = std::string(1, c);
            ++i;
        } else {
            fail("Unexpected \"" + std::string(1, c) + "\"", i);
        }
        t.offset += base;
        tokens.push_back(std::move(t));
    }
    Token end;
    end.offset = base + text.size();
    tokens.push_back(end);
    return tokens;
}

} // namespace markwell::formula
