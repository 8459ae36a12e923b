#include "WorkbookDump.h"

#include "RecordIds.h"
#include "RecordReader.h"
#include "cfb/CompoundFileReader.h"

#include "workbook/formula/Printer.h"

#include <algorithm>
#include <cstdio>

namespace markwell::xls {

namespace {

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out;
}

std::string number(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string valueText(const sheet::Value& v) {
    if (v.isText()) {
        return "t " + escape(v.text());
    }
    if (v.isNumber()) {
        return "n " + number(v.number());
    }
    if (v.isBoolean()) {
        return std::string("b ") + (v.boolean() ? "1" : "0");
    }
    if (v.isError()) {
        return "e " + std::to_string(static_cast<unsigned>(v.error()));
    }
    return {};
}

std::string colour(std::uint32_t rgb) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06X", rgb & 0xFFFFFF);
    return buf;
}

std::string describeFormat(const sheet::CellFormat& f) {
    std::string s =
        "font \"" + f.font.name + "\" " + std::to_string(f.font.heightTwips) + "tw " + colour(f.font.colour);
    s += f.font.bold ? " bold" : "";
    s += f.font.italic ? " italic" : "";
    s += f.font.underline ? " underline" : "";
    s += f.font.strike ? " strike" : "";
    s += " format \"" + f.numberFormat + "\"";
    if (f.fill) {
        s += " fill " + colour(*f.fill);
    }
    const char* sides[] = {"left", "right", "top", "bottom"};
    const sheet::Border* borders[] = {&f.left, &f.right, &f.top, &f.bottom};
    for (int i = 0; i < 4; ++i) {
        if (borders[i]->style != sheet::BorderStyle::None) {
            s += std::string(" ") + sides[i] + " " + std::to_string(static_cast<int>(borders[i]->style)) + " " +
                 colour(borders[i]->colour);
        }
    }
    s += " halign " + std::to_string(static_cast<int>(f.halign)) + " valign " +
         std::to_string(static_cast<int>(f.valign));
    s += f.wrap ? " wrap" : "";
    s += f.locked ? "" : " unlocked";
    if (f.indent) {
        s += " indent " + std::to_string(f.indent);
    }
    if (f.rotation) {
        s += " rotation " + std::to_string(f.rotation);
    }
    return s;
}

} // namespace

std::vector<std::string> dumpWorkbook(const sheet::Workbook& wb) {
    std::vector<std::string> out;
    for (std::size_t si = 0; si < wb.sheets.size(); ++si) {
        const sheet::Sheet& s = wb.sheets[si];
        const std::string sheet = std::to_string(si);
        s.forEachCell([&](int row, int col, const sheet::Cell& cell) {
            if (!cell.value.isEmpty()) {
                out.push_back("cell " + sheet + " " + std::to_string(row) + " " + std::to_string(col) + " " +
                              valueText(cell.value));
            }
        });
        for (const sheet::Area& a : s.merged) {
            out.push_back("merge " + sheet + " " + std::to_string(a.first.row) + " " + std::to_string(a.last.row) +
                          " " + std::to_string(a.first.col) + " " + std::to_string(a.last.col));
        }
        for (const sheet::Comment& c : s.comments) {
            out.push_back("note " + sheet + " " + std::to_string(c.pos.row) + " " + std::to_string(c.pos.col) + " " +
                          escape(c.text));
        }
    }
    for (const sheet::DefinedName& n : wb.names) {
        out.push_back("name " + n.name + " " + std::to_string(n.scopeSheet));
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::string> describeWorkbook(const sheet::Workbook& wb) {
    std::vector<std::string> out;
    out.push_back("workbook active-sheet " + std::to_string(wb.activeSheet) + (wb.date1904 ? " date1904" : ""));
    for (std::size_t i = 0; i < wb.formats.size(); ++i) {
        out.push_back("format " + std::to_string(i) + " " + describeFormat(wb.formats[i]));
    }
    for (const sheet::DefinedName& n : wb.names) {
        out.push_back("name " + n.name + " scope " + std::to_string(n.scopeSheet) + (n.builtin ? " builtin" : "") +
                      " " + (n.refersTo ? formula::printFormula(n.refersTo, &wb) : std::string("(none)")));
    }
    for (std::size_t si = 0; si < wb.sheets.size(); ++si) {
        const sheet::Sheet& s = wb.sheets[si];
        out.push_back("sheet " + std::to_string(si) + " \"" + s.name + "\"" + (s.showGridlines ? "" : " no-gridlines") +
                      (s.selected ? " selected" : "") + " active-cell " + sheet::toA1(s.activeCell) + " default-row " +
                      std::to_string(s.defaultRowHeightTwips) + "tw default-width " +
                      std::to_string(s.defaultColumnWidth));
        const sheet::PageSetup& p = s.pageSetup;
        out.push_back("  page paper " + std::to_string(p.paperSize) + (p.portrait ? " portrait" : " landscape") +
                      " scale " + std::to_string(p.scale) + " margins " + number(p.left) + " " + number(p.right) + " " +
                      number(p.top) + " " + number(p.bottom) + " header \"" + escape(p.headerText) + "\" footer \"" +
                      escape(p.footerText) + "\"");
        for (int c = 0; c < sheet::kMaxColumns; ++c) {
            if (const sheet::ColumnInfo* info = s.columnInfoAt(c)) {
                out.push_back("  column " + sheet::columnName(c) +
                              (info->width256 ? " width " + std::to_string(*info->width256) : std::string()) +
                              (info->hidden ? " hidden" : "") +
                              (info->format ? " format " + std::to_string(*info->format) : std::string()));
            }
        }
        for (int r = 0; r <= s.lastRowWithInfo(); ++r) {
            if (const sheet::RowInfo* info = s.rowInfoAt(r)) {
                out.push_back("  row " + std::to_string(r + 1) +
                              (info->heightTwips ? " height " + std::to_string(*info->heightTwips) : std::string()) +
                              (info->hidden ? " hidden" : "") +
                              (info->format ? " format " + std::to_string(*info->format) : std::string()));
            }
        }
        s.forEachCell([&](int row, int col, const sheet::Cell& cell) {
            std::string line = "  " + sheet::toA1(sheet::CellPos{row, col}) + " format " + std::to_string(cell.format);
            if (cell.formula) {
                line += " " + formula::printFormula(cell.formula, &wb) + " ->";
            }
            line += cell.value.isEmpty() ? std::string(" (empty)") : " " + valueText(cell.value);
            out.push_back(line);
        });
        for (const sheet::ArrayFormula& a : s.arrayFormulas) {
            out.push_back("  array " + sheet::toA1(a.area) + " {" + formula::printFormula(a.formula, &wb) + "}");
        }
        for (const sheet::Area& a : s.merged) {
            out.push_back("  merged " + sheet::toA1(a));
        }
        for (const sheet::Comment& c : s.comments) {
            out.push_back("  comment " + sheet::toA1(c.pos) + " by \"" + c.author + "\"" + (c.visible ? " shown" : "") +
                          ": " + escape(c.text));
        }
    }
    return out;
}

std::vector<std::string> dumpRecords(ByteView file) {
    cfb::CompoundFileReader container(Bytes(file.begin(), file.end()));
    std::vector<std::string> out;
    for (std::uint32_t i : container.rootStreams()) {
        out.push_back("stream \"" + container.entry(i).name + "\" " + std::to_string(container.entry(i).size) +
                      " bytes");
    }
    auto index = container.findStream("Workbook");
    if (!index) {
        index = container.findStream("Book");
    }
    if (!index) {
        throw XlsError(XlsErrorKind::NoWorkbook, "The compound document holds no workbook stream.");
    }
    const Bytes stream = container.readStream(*index);
    RecordReader in(stream);
    while (auto r = in.next()) {
        std::string line = std::to_string(r->offset) + " " + recordName(r->id) + " " + std::to_string(r->data.size());
        if (!r->breaks.empty()) {
            line += " (" + std::to_string(r->breaks.size()) + " CONTINUE)";
        }
        out.push_back(line);
    }
    return out;
}

} // namespace markwell::xls
