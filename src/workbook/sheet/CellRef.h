#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace markwell::sheet {

// Size of a BIFF8 worksheet.
inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;

// A cell position, 0-based (A1 is {0, 0}).
struct CellPos {
    int row = 0;
    int col = 0;
    friend bool operator==(const CellPos&, const CellPos&) = default;
};

// A rectangle of cells, both corners inclusive; first is the top-left corner.
struct Area {
    CellPos first;
    CellPos last;
    friend bool operator==(const Area&, const Area&) = default;

    bool contains(CellPos p) const {
        return p.row >= first.row && p.row <= last.row && p.col >= first.col && p.col <= last.col;
    }
    int rows() const { return last.row - first.row + 1; }
    int columns() const { return last.col - first.col + 1; }
};

inline bool isValid(CellPos p) {
    return p.row >= 0 && p.row < kMaxRows && p.col >= 0 && p.col < kMaxColumns;
}

// A cell position as written in A1 text, with its `$` flags.
struct A1Ref {
    CellPos pos;
    bool rowAbs = false;
    bool colAbs = false;
    friend bool operator==(const A1Ref&, const A1Ref&) = default;
};

// "A", "B", ..., "Z", "AA", ... for 0, 1, ...; empty for a negative column.
std::string columnName(int col);

// The column of a name such as "AB" (case-insensitive), or nullopt when it is not a column
// of a BIFF8 sheet.
std::optional<int> parseColumnName(std::string_view text);

// "B5", "$B$5", "B$5" ...
std::string toA1(CellPos pos, bool rowAbs = false, bool colAbs = false);

// "A1:B2"; a single cell area gives "A1".
std::string toA1(const Area& area);

// Parses "B5", "$B$5", "b$5"; nullopt for anything else or a cell outside the sheet.
std::optional<A1Ref> parseA1(std::string_view text);

// Parses "A1:B2" or a single cell; the corners are put in order.
std::optional<Area> parseArea(std::string_view text);

} // namespace markwell::sheet
