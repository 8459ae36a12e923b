#pragma once

#include "workbook/sheet/Value.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace markwell::formula {

// A formula text that cannot be read. The message says what is wrong and where.
class FormulaSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TokenKind {
    Number,      // number
    String,      // text: the literal's characters, quotes undone
    Error,       // #DIV/0! ...: error
    Word,        // a run of letters, digits, '_', '.', '$': a reference, name, function or TRUE/FALSE
    SheetPrefix, // Sheet1! or 'Grade book'!: text is the sheet name
    Operator,    // + - * / ^ & = <> < <= > >= %: text
    LParen,
    RParen,
    Comma,
    Colon,
    End,
};

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;
    double number = 0;
    sheet::ErrorCode error = sheet::ErrorCode::Value;
    std::size_t offset = 0; // where the token starts in the text
};

// Splits formula text (without its leading '=') into tokens; blanks between tokens are skipped.
// Throws FormulaSyntaxError for an unterminated string, an unknown error literal or a character
// that has no place in a formula.
// Offsets (in tokens and messages) count from `base`, 1-based in messages.
std::vector<Token> tokenize(std::string_view text, std::size_t base = 0);

} // namespace markwell::formula
