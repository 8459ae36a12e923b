#include "workbook/xlsx/XlsxWriter.h"

#include "workbook/formula/Printer.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace markwell::xlsx {

namespace {

// The digit width and cell padding, in pixels, of the default fonts of our workbooks (10-point
// Arial or Century Gothic; libxlsxwriter's own, 11-point Calibri, has the same).
constexpr int kDigitWidth = 7;
constexpr int kPadding = 5;

std::string cellName(const sheet::Sheet& s, int row, int col) {
    return "'" + s.name + "'!" + sheet::toA1(sheet::CellPos{row, col});
}

void check(lxw_error err, const std::string& what) {
    if (err != LXW_NO_ERROR) {
        throw XlsxError(what + ": " + lxw_strerror(err) + ".");
    }
}

std::uint8_t borderStyle(sheet::BorderStyle style) {
    switch (style) {
    case sheet::BorderStyle::None:
        return LXW_BORDER_NONE;
    case sheet::BorderStyle::Thin:
        return LXW_BORDER_THIN;
    case sheet::BorderStyle::Medium:
        return LXW_BORDER_MEDIUM;
    case sheet::BorderStyle::Dashed:
        return LXW_BORDER_DASHED;
    case sheet::BorderStyle::Dotted:
        return LXW_BORDER_DOTTED;
    case sheet::BorderStyle::Thick:
        return LXW_BORDER_THICK;
    case sheet::BorderStyle::Double:
        return LXW_BORDER_DOUBLE;
    case sheet::BorderStyle::Hair:
        return LXW_BORDER_HAIR;
    }
    return LXW_BORDER_NONE;
}

std::uint8_t horizontal(sheet::HAlign a) {
    switch (a) {
    case sheet::HAlign::General:
        return LXW_ALIGN_NONE;
    case sheet::HAlign::Left:
        return LXW_ALIGN_LEFT;
    case sheet::HAlign::Center:
        return LXW_ALIGN_CENTER;
    case sheet::HAlign::Right:
        return LXW_ALIGN_RIGHT;
    case sheet::HAlign::Fill:
        return LXW_ALIGN_FILL;
    case sheet::HAlign::Justify:
        return LXW_ALIGN_JUSTIFY;
    case sheet::HAlign::CenterAcross:
        return LXW_ALIGN_CENTER_ACROSS;
    }
    return LXW_ALIGN_NONE;
}

std::uint8_t vertical(sheet::VAlign a) {
    switch (a) {
    case sheet::VAlign::Top:
        return LXW_ALIGN_VERTICAL_TOP;
    case sheet::VAlign::Center:
        return LXW_ALIGN_VERTICAL_CENTER;
    case sheet::VAlign::Bottom:
        return LXW_ALIGN_VERTICAL_BOTTOM;
    case sheet::VAlign::Justify:
        return LXW_ALIGN_VERTICAL_JUSTIFY;
    }
    return LXW_ALIGN_VERTICAL_BOTTOM;
}

// libxlsxwriter takes 0 as "no colour"; black has its own value.
lxw_color_t colour(std::uint32_t rgb) {
    rgb &= 0xFFFFFF;
    return rgb == 0 ? static_cast<lxw_color_t>(LXW_COLOR_BLACK) : rgb;
}

// BIFF8 keeps rotation as 0-90 counter-clockwise, 91-180 clockwise (less 90), 255 stacked; the
// writer takes -90 to 90 degrees and 270 for stacked.
std::optional<std::int16_t> rotation(int biff) {
    if (biff > 0 && biff <= 90) {
        return static_cast<std::int16_t>(biff);
    }
    if (biff > 90 && biff <= 180) {
        return static_cast<std::int16_t>(90 - biff);
    }
    if (biff == 255) {
        return 270;
    }
    return std::nullopt;
}

// A header or footer as .xlsx files keep it. Text before any section code is centred; it gets its
// &C, which every reader understands. The model keeps no header or footer pictures, so their
// placeholder &G has nothing to show and is left out.
std::string headerFooterCodes(std::string text) {
    for (std::size_t at = 0; (at = text.find('&', at)) != std::string::npos;) {
        if (at + 1 < text.size() && text[at + 1] == 'G') {
            text.erase(at, 2);
        } else {
            at += 2; // past "&&" and every other code
        }
    }
    const bool sectioned = text.size() >= 2 && text[0] == '&' && (text[1] == 'L' || text[1] == 'C' || text[1] == 'R');
    return text.empty() || sectioned ? text : "&C" + text;
}

// The workbook's own font, the one other programs give unstyled cells and count column widths in,
// is that of the model's default format, as in the .xls. libxlsxwriter keeps it in its first
// format (the "Normal" style), which starts as 11-point Calibri.
void setFontFace(lxw_format* format, const sheet::Font& font) {
    format_set_font_name(format, font.name.empty() ? "Arial" : font.name.c_str());
    format_set_font_size(format, std::clamp(font.heightTwips, 20, 8191) / 20.0);
}

void setDefaultFont(lxw_workbook* book, const sheet::Font& font) {
    if (lxw_format* normal = STAILQ_FIRST(book->formats)) {
        setFontFace(normal, font);
    }
}

// A single rectangle of one sheet, as a defined name refers to it.
std::optional<sheet::Area> singleArea(const formula::NodePtr& node, int sheetIndex) {
    if (!node || (node->kind != formula::NodeKind::Ref && node->kind != formula::NodeKind::AreaRef) ||
        (node->sheet >= 0 && node->sheet != sheetIndex)) {
        return std::nullopt;
    }
    return node->area();
}

// The whole rows and whole columns a Print_Titles name lists, or nothing when it lists anything
// else.
struct Titles {
    std::optional<std::pair<int, int>> rows, columns;
};
std::optional<Titles> printTitles(const formula::NodePtr& node, int sheetIndex) {
    const std::vector<const formula::Node*> parts = formula::unionParts(node);
    if (parts.empty()) {
        return std::nullopt;
    }
    Titles t;
    for (const formula::Node* p : parts) {
        if (p->kind != formula::NodeKind::AreaRef || (p->sheet >= 0 && p->sheet != sheetIndex)) {
            return std::nullopt;
        }
        if (p->isWholeRows() && !t.rows) {
            t.rows = std::make_pair(p->first.pos.row, p->last.pos.row);
        } else if (p->isWholeColumns() && !t.columns) {
            t.columns = std::make_pair(p->first.pos.col, p->last.pos.col);
        } else {
            return std::nullopt;
        }
    }
    return t;
}

class Writer {
public:
    Writer(const sheet::Workbook& wb, const std::filesystem::path& file, const std::filesystem::path& scratch)
        : m_wb(wb), m_fileName(file.string()), m_scratch(scratch.string()) {}
    ~Writer() {
        if (m_book) {
            lxw_workbook_free(m_book);
        }
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void run();

private:
    lxw_format* format(std::uint32_t index);
    lxw_format* makeFormat(const sheet::CellFormat& f);
    void writeSheet(std::size_t index, lxw_worksheet* ws);
    void writeCell(lxw_worksheet* ws, const sheet::Sheet& s, int row, int col, const sheet::Cell& cell);
    void writeColumns(lxw_worksheet* ws, const sheet::Sheet& s);
    void writeRows(lxw_worksheet* ws, const sheet::Sheet& s);
    void writePageSetup(lxw_worksheet* ws, const sheet::Sheet& s);
    void writeNames();

    const sheet::Workbook& m_wb;
    std::string m_fileName;
    std::string m_scratch;
    lxw_workbook* m_book = nullptr;
    std::vector<lxw_worksheet*> m_sheets;
    std::vector<lxw_format*> m_formats; // by the model's format index, made when first used
};

lxw_format* Writer::format(std::uint32_t index) {
    if (index >= m_formats.size()) {
        index = 0;
    }
    if (!m_formats[index]) {
        static const sheet::CellFormat kDefault;
        m_formats[index] = makeFormat(index < m_wb.formats.size() ? m_wb.formats[index] : kDefault);
    }
    return m_formats[index];
}

lxw_format* Writer::makeFormat(const sheet::CellFormat& f) {
    lxw_format* x = workbook_add_format(m_book);
    if (!x) {
        throw XlsxError("There is not enough memory for the cell formats.");
    }
    setFontFace(x, f.font);
    if (f.font.bold) {
        format_set_bold(x);
    }
    if (f.font.italic) {
        format_set_italic(x);
    }
    if (f.font.underline) {
        format_set_underline(x, LXW_UNDERLINE_SINGLE);
    }
    if (f.font.strike) {
        format_set_font_strikeout(x);
    }
    if ((f.font.colour & 0xFFFFFF) != 0) { // black is the automatic colour
        format_set_font_color(x, colour(f.font.colour));
    }
    if (!f.numberFormat.empty() && f.numberFormat != "General") {
        format_set_num_format(x, f.numberFormat.c_str());
    }
    if (f.fill) {
        format_set_pattern(x, LXW_PATTERN_SOLID);
        format_set_bg_color(x, colour(*f.fill));
    }
    auto side = [&](const sheet::Border& b, void (*setStyle)(lxw_format*, std::uint8_t),
                    void (*setColour)(lxw_format*, lxw_color_t)) {
        if (b.style == sheet::BorderStyle::None) {
            return;
        }
        setStyle(x, borderStyle(b.style));
        if ((b.colour & 0xFFFFFF) != 0) {
            setColour(x, colour(b.colour));
        }
    };
    side(f.left, format_set_left, format_set_left_color);
    side(f.right, format_set_right, format_set_right_color);
    side(f.top, format_set_top, format_set_top_color);
    side(f.bottom, format_set_bottom, format_set_bottom_color);
    if (f.halign != sheet::HAlign::General) {
        format_set_align(x, horizontal(f.halign));
    }
    if (f.valign != sheet::VAlign::Bottom) {
        format_set_align(x, vertical(f.valign));
    }
    if (f.wrap) {
        format_set_text_wrap(x);
    }
    if (f.indent > 0) {
        format_set_indent(x, static_cast<std::uint8_t>(std::min(f.indent, 15)));
    }
    if (auto r = rotation(f.rotation)) {
        format_set_rotation(x, *r);
    }
    if (!f.locked) {
        format_set_unlocked(x);
    }
    return x;
}

void Writer::writeCell(lxw_worksheet* ws, const sheet::Sheet& s, int row, int col, const sheet::Cell& cell) {
    lxw_format* fmt = format(cell.format);
    const auto r = static_cast<lxw_row_t>(row);
    const auto c = static_cast<lxw_col_t>(col);
    const sheet::Value& v = cell.value;
    // An error constant, or a number no file can hold, as the formula that gives the error.
    auto errorFormula = [&](sheet::ErrorCode code) {
        const std::string text(sheet::errorText(code));
        return worksheet_write_formula_str(ws, r, c, ("=" + text).c_str(), fmt, text.c_str());
    };
    lxw_error err = LXW_NO_ERROR;
    if (cell.formula) {
        const std::string text = formula::printFormula(cell.formula, &m_wb);
        switch (v.type()) {
        case sheet::Value::Type::Number:
            err = std::isfinite(v.number())
                      ? worksheet_write_formula_num(ws, r, c, text.c_str(), fmt, v.number())
                      : worksheet_write_formula_str(ws, r, c, text.c_str(), fmt,
                                                    std::string(sheet::errorText(sheet::ErrorCode::Num)).c_str());
            break;
        case sheet::Value::Type::Text:
            err = worksheet_write_formula_str(ws, r, c, text.c_str(), fmt, v.text().c_str());
            break;
        case sheet::Value::Type::Boolean:
            err = worksheet_write_formula_str(ws, r, c, text.c_str(), fmt, v.boolean() ? "TRUE" : "FALSE");
            break;
        case sheet::Value::Type::Error:
            err = worksheet_write_formula_str(ws, r, c, text.c_str(), fmt,
                                              std::string(sheet::errorText(v.error())).c_str());
            break;
        case sheet::Value::Type::Empty:
            err = worksheet_write_formula(ws, r, c, text.c_str(), fmt);
            break;
        }
    } else {
        switch (v.type()) {
        case sheet::Value::Type::Number:
            err = std::isfinite(v.number()) ? worksheet_write_number(ws, r, c, v.number(), fmt)
                                            : errorFormula(sheet::ErrorCode::Num);
            break;
        case sheet::Value::Type::Text:
            // An empty text is a blank cell in this format.
            err = worksheet_write_string(ws, r, c, v.text().c_str(), fmt);
            break;
        case sheet::Value::Type::Boolean:
            err = worksheet_write_boolean(ws, r, c, v.boolean() ? 1 : 0, fmt);
            break;
        case sheet::Value::Type::Error:
            err = errorFormula(v.error());
            break;
        case sheet::Value::Type::Empty:
            err = worksheet_write_blank(ws, r, c, fmt);
            break;
        }
    }
    if (err != LXW_NO_ERROR) {
        check(err, "The cell " + cellName(s, row, col) + " cannot be written");
    }
}

void Writer::writeColumns(lxw_worksheet* ws, const sheet::Sheet& s) {
    // A column without a width of its own is as wide as the sheet's default; the format's own
    // default is 8 characters, so only another default needs writing.
    struct Look {
        double width = LXW_DEF_COL_WIDTH;
        std::optional<std::uint32_t> format;
        bool hidden = false;
        bool operator==(const Look&) const = default;
    };
    const int defaultChars = std::clamp(s.defaultColumnWidth, 0, 255);
    const double defaultWidth =
        defaultChars == 8
            ? LXW_DEF_COL_WIDTH
            : static_cast<double>((defaultChars * kDigitWidth + kPadding + 7) / 8 * 8 - kPadding) / kDigitWidth;
    auto lookOf = [&](int col) {
        Look look;
        look.width = defaultWidth;
        if (const sheet::ColumnInfo* info = s.columnInfoAt(col)) {
            look.width = info->width256 ? columnWidthCharacters(*info->width256) : defaultWidth;
            look.format = info->format;
            look.hidden = info->hidden;
        }
        return look;
    };
    // One call per run of columns that look alike.
    for (int col = 0; col < sheet::kMaxColumns;) {
        const Look look = lookOf(col);
        int last = col;
        while (last + 1 < sheet::kMaxColumns && lookOf(last + 1) == look) {
            ++last;
        }
        if (!(look == Look{})) {
            lxw_row_col_options options{};
            options.hidden = look.hidden ? 1 : 0;
            check(worksheet_set_column_opt(ws, static_cast<lxw_col_t>(col), static_cast<lxw_col_t>(last), look.width,
                                           look.format ? format(*look.format) : nullptr, &options),
                  "The columns of sheet \"" + s.name + "\" cannot be written");
        }
        col = last + 1;
    }
}

void Writer::writeRows(lxw_worksheet* ws, const sheet::Sheet& s) {
    const double defaultHeight = std::clamp(s.defaultRowHeightTwips, 1, 8192) / 20.0;
    worksheet_set_default_row(ws, defaultHeight, LXW_FALSE);
    const int last = s.lastRowWithInfo();
    for (int row = 0; row <= last; ++row) {
        const sheet::RowInfo* info = s.rowInfoAt(row);
        if (!info || (*info == sheet::RowInfo{})) {
            continue;
        }
        lxw_row_col_options options{};
        options.hidden = info->hidden ? 1 : 0;
        double height = info->heightTwips ? std::clamp(*info->heightTwips, 0, 8192) / 20.0 : defaultHeight;
        // libxlsxwriter takes a height of exactly 15 points for "no height of its own"; the next
        // double up prints as 15 all the same.
        if (height == LXW_DEF_ROW_HEIGHT && defaultHeight != LXW_DEF_ROW_HEIGHT) {
            height = std::nextafter(height, 16.0);
        }
        check(worksheet_set_row_opt(ws, static_cast<lxw_row_t>(row), height,
                                    info->format ? format(*info->format) : nullptr, &options),
              "The row " + std::to_string(row + 1) + " of sheet \"" + s.name + "\" cannot be written");
    }
}

void Writer::writePageSetup(lxw_worksheet* ws, const sheet::Sheet& s) {
    const sheet::PageSetup& p = s.pageSetup;
    worksheet_set_paper(ws, static_cast<std::uint8_t>(std::clamp(p.paperSize, 0, 255)));
    if (p.portrait) {
        worksheet_set_portrait(ws);
    } else {
        worksheet_set_landscape(ws);
    }
    worksheet_set_print_scale(ws, static_cast<std::uint16_t>(std::clamp(p.scale, 10, 400)));
    worksheet_set_margins(ws, std::max(p.left, 0.0), std::max(p.right, 0.0), std::max(p.top, 0.0),
                          std::max(p.bottom, 0.0));
    lxw_header_footer_options header{};
    header.margin = p.header;
    check(worksheet_set_header_opt(ws, headerFooterCodes(p.headerText).c_str(), &header),
          "The header of sheet \"" + s.name + "\" cannot be written");
    lxw_header_footer_options footer{};
    footer.margin = p.footer;
    check(worksheet_set_footer_opt(ws, headerFooterCodes(p.footerText).c_str(), &footer),
          "The footer of sheet \"" + s.name + "\" cannot be written");
}

void Writer::writeSheet(std::size_t index, lxw_worksheet* ws) {
    const sheet::Sheet& s = m_wb.sheets[index];
    writeColumns(ws, s);
    writeRows(ws, s);
    // The merge first, so the cells written afterwards keep their own formats and contents.
    for (const sheet::Area& m : s.merged) {
        if (m.first == m.last) {
            continue;
        }
        check(worksheet_merge_range(ws, static_cast<lxw_row_t>(m.first.row), static_cast<lxw_col_t>(m.first.col),
                                    static_cast<lxw_row_t>(m.last.row), static_cast<lxw_col_t>(m.last.col), "",
                                    nullptr),
              "The merged range " + sheet::toA1(m) + " of sheet \"" + s.name + "\" cannot be written");
    }
    s.forEachCell([&](int row, int col, const sheet::Cell& cell) { writeCell(ws, s, row, col, cell); });
    for (const sheet::Comment& c : s.comments) {
        std::string author = c.author;
        lxw_comment_options options{};
        options.visible = c.visible ? LXW_COMMENT_DISPLAY_VISIBLE : LXW_COMMENT_DISPLAY_HIDDEN;
        options.author = author.empty() ? nullptr : author.data();
        check(worksheet_write_comment_opt(ws, static_cast<lxw_row_t>(c.pos.row), static_cast<lxw_col_t>(c.pos.col),
                                          c.text.c_str(), &options),
              "The comment on " + cellName(s, c.pos.row, c.pos.col) + " cannot be written");
    }
    worksheet_gridlines(ws, s.showGridlines ? LXW_SHOW_SCREEN_GRIDLINES : LXW_HIDE_ALL_GRIDLINES);
    const sheet::CellPos active{std::clamp(s.activeCell.row, 0, sheet::kMaxRows - 1),
                                std::clamp(s.activeCell.col, 0, sheet::kMaxColumns - 1)};
    worksheet_set_selection(ws, static_cast<lxw_row_t>(active.row), static_cast<lxw_col_t>(active.col),
                            static_cast<lxw_row_t>(active.row), static_cast<lxw_col_t>(active.col));
    if (static_cast<int>(index) == m_wb.activeSheet) {
        worksheet_activate(ws);
    } else if (s.selected) {
        worksheet_select(ws);
    }
    writePageSetup(ws, s);
}

void Writer::writeNames() {
    for (const sheet::DefinedName& n : m_wb.names) {
        if (!n.refersTo) {
            continue;
        }
        const bool local = n.scopeSheet >= 0 && static_cast<std::size_t>(n.scopeSheet) < m_wb.sheets.size();
        if (n.builtin && local && sheet::equalsIgnoringCase(n.name, "Print_Area")) {
            if (auto a = singleArea(n.refersTo, n.scopeSheet)) {
                check(worksheet_print_area(m_sheets[static_cast<std::size_t>(n.scopeSheet)],
                                           static_cast<lxw_row_t>(a->first.row), static_cast<lxw_col_t>(a->first.col),
                                           static_cast<lxw_row_t>(a->last.row), static_cast<lxw_col_t>(a->last.col)),
                      "The print area cannot be written");
                continue;
            }
        }
        if (n.builtin && local && sheet::equalsIgnoringCase(n.name, "Print_Titles")) {
            if (auto t = printTitles(n.refersTo, n.scopeSheet)) {
                lxw_worksheet* ws = m_sheets[static_cast<std::size_t>(n.scopeSheet)];
                if (t->rows) {
                    check(worksheet_repeat_rows(ws, static_cast<lxw_row_t>(t->rows->first),
                                                static_cast<lxw_row_t>(t->rows->second)),
                          "The print titles cannot be written");
                }
                if (t->columns) {
                    check(worksheet_repeat_columns(ws, static_cast<lxw_col_t>(t->columns->first),
                                                   static_cast<lxw_col_t>(t->columns->second)),
                          "The print titles cannot be written");
                }
                continue;
            }
        }
        std::string name = (n.builtin ? "_xlnm." : "") + n.name;
        if (local) {
            const std::string& sheetName = m_wb.sheets[static_cast<std::size_t>(n.scopeSheet)].name;
            if (sheetName.find('!') != std::string::npos) {
                throw XlsxError("The name \"" + n.name + "\" of sheet \"" + sheetName +
                                "\" cannot be written: the sheet name holds an exclamation mark.");
            }
            name = "'" + sheetName + "'!" + name;
        }
        const std::string refersTo = "=" + formula::printExpression(n.refersTo, &m_wb);
        check(workbook_define_name(m_book, name.c_str(), refersTo.c_str()),
              "The defined name \"" + n.name + "\" cannot be written");
    }
}

void Writer::run() {
    if (m_wb.sheets.empty()) {
        throw XlsxError("A workbook needs at least one sheet.");
    }
    lxw_workbook_options options{};
    options.constant_memory = LXW_FALSE;
    options.tmpdir = m_scratch.empty() ? nullptr : m_scratch.data();
    // A sheet of at most 65536 rows and 256 columns stays far below the 4 GB of plain ZIP, so the
    // extension that older programs warn about is left off.
    options.use_zip64 = LXW_FALSE;
    m_book = workbook_new_opt(m_fileName.c_str(), &options);
    if (!m_book) {
        throw XlsxError("The workbook cannot be started: there is not enough memory.");
    }
    setDefaultFont(m_book, m_wb.formats.empty() ? sheet::Font{} : m_wb.formats.front().font);
    m_formats.assign(std::max<std::size_t>(m_wb.formats.size(), 1), nullptr);
    for (const sheet::Sheet& s : m_wb.sheets) {
        check(workbook_validate_sheet_name(m_book, s.name.c_str()), "The sheet name \"" + s.name + "\" cannot be used");
        lxw_worksheet* ws = workbook_add_worksheet(m_book, s.name.c_str());
        if (!ws) {
            throw XlsxError("The sheet \"" + s.name + "\" cannot be added.");
        }
        m_sheets.push_back(ws);
    }
    for (std::size_t i = 0; i < m_wb.sheets.size(); ++i) {
        writeSheet(i, m_sheets[i]);
    }
    writeNames();
    lxw_workbook* book = m_book;
    m_book = nullptr; // closing frees it, whatever the outcome
    check(workbook_close(book), "The workbook cannot be saved");
}

} // namespace

double columnWidthCharacters(int width256) {
    const std::int64_t w = std::clamp(width256, 0, 0xFFFF);
    const auto pixels = static_cast<int>((w + 128 / kDigitWidth) * kDigitWidth / 256);
    if (pixels >= kDigitWidth + kPadding) {
        return static_cast<double>(pixels - kPadding) / kDigitWidth;
    }
    return static_cast<double>(pixels) / (kDigitWidth + kPadding);
}

void writeXlsx(const sheet::Workbook& workbook, const std::filesystem::path& file,
               const std::filesystem::path& scratchFolder) {
    Writer(workbook, file, scratchFolder).run();
}

} // namespace markwell::xlsx
