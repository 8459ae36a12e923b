#include "workbook/sheet/CellRef.h"

#include <algorithm>

namespace markwell::sheet {

std::string columnName(int col) {
    std::string name;
    if (col < 0) {
        return name;
    }
    for (int c = col + 1; c > 0; c = (c - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return name;
}

std::optional<int> parseColumnName(std::string_view text) {
    if (text.empty() || text.size() > 3) {
        return std::nullopt;
    }
    int value = 0;
    for (char ch : text) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
        if (ch < 'A' || ch > 'Z') {
            return std::nullopt;
        }
        value = value * 26 + (ch - 'A' + 1);
    }
    if (value > kMaxColumns) {
        return std::nullopt;
    }
    return value - 1;
}

std::string toA1(CellPos pos, bool rowAbs, bool colAbs) {
    std::string text;
    if (colAbs) {
        text += '$';
    }
    text += columnName(pos.col);
    if (rowAbs) {
        text += '$';
    }
    text += std::to_string(pos.row + 1);
    return text;
}

std::string toA1(const Area& area) {
    if (area.first == area.last) {
        return toA1(area.first);
    }
    return toA1(area.first) + ':' + toA1(area.last);
}

std::optional<A1Ref> parseA1(std::string_view text) {
    A1Ref ref;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') {
        ref.colAbs = true;
        ++i;
    }
    const std::size_t colStart = i;
    while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) {
        ++i;
    }
    const auto col = parseColumnName(text.substr(colStart, i - colStart));
    if (!col) {
        return std::nullopt;
    }
    if (i < text.size() && text[i] == '$') {
        ref.rowAbs = true;
        ++i;
    }
    if (i >= text.size() || text[i] < '1' || text[i] > '9' || text.size() - i > 5) {
        return std::nullopt;
    }
    int row = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        row = row * 10 + (text[i] - '0');
    }
    if (row > kMaxRows) {
        return std::nullopt;
    }
    ref.pos = CellPos{row - 1, *col};
    return ref;
}

std::optional<Area> parseArea(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        const auto one = parseA1(text);
        if (!one) {
            return std::nullopt;
        }
        return Area{one->pos, one->pos};
    }
    const auto a = parseA1(text.substr(0, colon));
    const auto b = parseA1(text.substr(colon + 1));
    if (!a || !b) {
        return std::nullopt;
    }
    return Area{{std::min(a->pos.row, b->pos.row), std::min(a->pos.col, b->pos.col)},
                {std::max(a->pos.row, b->pos.row), std::max(a->pos.col, b->pos.col)}};
}

} // namespace markwell::sheet
