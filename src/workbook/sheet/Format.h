#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace markwell::sheet {

struct Font {
    std::string name = "Arial";
    int heightTwips = 200; // 10 points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    std::uint32_t colour = 0x000000; // RGB
    friend bool operator==(const Font&, const Font&) = default;
};

enum class BorderStyle { None, Thin, Medium, Dashed, Dotted, Thick, Double, Hair };

struct Border {
    BorderStyle style = BorderStyle::None;
    std::uint32_t colour = 0x000000; // RGB
    friend bool operator==(const Border&, const Border&) = default;
};

enum class HAlign { General, Left, Center, Right, Fill, Justify, CenterAcross };
enum class VAlign { Top, Center, Bottom, Justify };

// Everything that decides how a cell looks. A workbook keeps one table of distinct formats and
// cells refer to them by index.
struct CellFormat {
    Font font;
    std::string numberFormat = "General";
    std::optional<std::uint32_t> fill; // RGB of a solid fill; none: no fill
    Border left, right, top, bottom;
    HAlign halign = HAlign::General;
    VAlign valign = VAlign::Bottom;
    bool wrap = false;
    bool locked = true;
    int indent = 0;
    int rotation = 0; // degrees, as BIFF8 stores them (0-180, 255 = stacked)
    friend bool operator==(const CellFormat&, const CellFormat&) = default;
};

} // namespace markwell::sheet
