// Comparing a workbook with what openpyxl reads from the .xlsx we wrote of it.

#include "ExternalReaders.h"

#include "workbook/formula/Printer.h"
#include "workbook/render/SheetLayout.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

using namespace Qt::Literals::StringLiterals;

namespace markwell::test {

namespace {

std::string str(const QJsonValue& v) {
    return v.isNull() || v.isUndefined() ? std::string("(none)") : v.toString().toStdString();
}

// "FF" and the colour, as .xlsx files spell an opaque colour; black is the automatic colour.
std::string argb(std::uint32_t rgb) {
    rgb &= 0xFFFFFF;
    if (rgb == 0) {
        return "(none)";
    }
    char text[9];
    std::snprintf(text, sizeof text, "FF%06X", static_cast<unsigned>(rgb));
    return text;
}

const char* borderName(sheet::BorderStyle s) {
    switch (s) {
    case sheet::BorderStyle::Thin:
        return "thin";
    case sheet::BorderStyle::Medium:
        return "medium";
    case sheet::BorderStyle::Dashed:
        return "dashed";
    case sheet::BorderStyle::Dotted:
        return "dotted";
    case sheet::BorderStyle::Thick:
        return "thick";
    case sheet::BorderStyle::Double:
        return "double";
    case sheet::BorderStyle::Hair:
        return "hair";
    case sheet::BorderStyle::None:
        break;
    }
    return "(none)";
}

const char* horizontalName(sheet::HAlign a) {
    switch (a) {
    case sheet::HAlign::Left:
        return "left";
    case sheet::HAlign::Center:
        return "center";
    case sheet::HAlign::Right:
        return "right";
    case sheet::HAlign::Fill:
        return "fill";
    case sheet::HAlign::Justify:
        return "justify";
    case sheet::HAlign::CenterAcross:
        return "centerContinuous";
    case sheet::HAlign::General:
        break;
    }
    return "(none)";
}

const char* verticalName(sheet::VAlign a) {
    switch (a) {
    case sheet::VAlign::Top:
        return "top";
    case sheet::VAlign::Center:
        return "center";
    case sheet::VAlign::Justify:
        return "justify";
    case sheet::VAlign::Bottom:
        break;
    }
    return "(none)";
}

void expectFormat(const sheet::CellFormat& f, const QJsonObject& c, const std::string& at) {
    const std::string numberFormat = f.numberFormat.empty() ? std::string("General") : f.numberFormat;
    EXPECT_EQ(str(c[u"numberFormat"_s]), numberFormat) << at;
    const QJsonObject font = c[u"font"_s].toObject();
    EXPECT_EQ(str(font[u"name"_s]), f.font.name.empty() ? std::string("Arial") : f.font.name) << at;
    EXPECT_DOUBLE_EQ(font[u"size"_s].toDouble(), f.font.heightTwips / 20.0) << at;
    EXPECT_EQ(font[u"bold"_s].toBool(), f.font.bold) << at;
    EXPECT_EQ(font[u"italic"_s].toBool(), f.font.italic) << at;
    EXPECT_EQ(str(font[u"underline"_s]), f.font.underline ? "single" : "(none)") << at;
    EXPECT_EQ(font[u"strike"_s].toBool(), f.font.strike) << at;
    EXPECT_EQ(str(font[u"colour"_s]), argb(f.font.colour)) << at;
    EXPECT_EQ(str(c[u"fill"_s]), f.fill ? argb(*f.fill) == "(none)" ? "FF000000" : argb(*f.fill) : "(none)") << at;
    const QJsonObject border = c[u"border"_s].toObject();
    const std::pair<const char*, const sheet::Border*> sides[] = {
        {"left", &f.left}, {"right", &f.right}, {"top", &f.top}, {"bottom", &f.bottom}};
    for (const auto& [name, b] : sides) {
        const QJsonArray side = border[QString::fromLatin1(name)].toArray();
        EXPECT_EQ(side.isEmpty() ? std::string("(none)") : str(side[0]), borderName(b->style)) << at << " " << name;
        if (!side.isEmpty()) {
            EXPECT_EQ(str(side[1]), argb(b->colour)) << at << " " << name;
        }
    }
    EXPECT_EQ(str(c[u"horizontal"_s]), horizontalName(f.halign)) << at;
    const std::string vertical = str(c[u"vertical"_s]);
    EXPECT_EQ(vertical == "bottom" ? std::string("(none)") : vertical, verticalName(f.valign)) << at;
    EXPECT_EQ(c[u"wrap"_s].toBool(), f.wrap) << at;
    EXPECT_EQ(c[u"indent"_s].toInt(), f.indent) << at;
    EXPECT_EQ(c[u"rotation"_s].toInt(), f.rotation) << at;
    EXPECT_EQ(c[u"locked"_s].toBool(), f.locked) << at;
}

// The cached value: numbers and texts as they are; booleans and errors that formulas give are
// stored as their text; an error constant is the formula of the error.
void expectValue(const sheet::Cell& cell, const QJsonObject& c, const std::string& at) {
    const sheet::Value& v = cell.value;
    const QJsonValue value = c[u"value"_s];
    const std::string type = str(c[u"type"_s]);
    switch (v.type()) {
    case sheet::Value::Type::Number:
        if (std::isfinite(v.number())) {
            EXPECT_EQ(type, "n") << at;
            EXPECT_NEAR(value.toDouble(), v.number(), 1e-14 * std::max(1.0, std::fabs(v.number()))) << at;
        } else {
            EXPECT_EQ(str(value), "#NUM!") << at;
        }
        break;
    case sheet::Value::Type::Text:
        if (v.text().empty()) {
            EXPECT_TRUE(value.isNull() || value.toString().isEmpty()) << at << ": " << str(value);
        } else {
            EXPECT_EQ(type, "s") << at;
            EXPECT_EQ(str(value), v.text()) << at;
        }
        break;
    case sheet::Value::Type::Boolean:
        if (cell.formula) {
            EXPECT_EQ(str(value), v.boolean() ? "TRUE" : "FALSE") << at;
        } else {
            EXPECT_EQ(type, "b") << at;
            EXPECT_EQ(value.toBool(), v.boolean()) << at;
        }
        break;
    case sheet::Value::Type::Error:
        EXPECT_TRUE(type == "s" || type == "e") << at << ": " << type;
        EXPECT_EQ(str(value), std::string(sheet::errorText(v.error()))) << at;
        if (!cell.formula) {
            EXPECT_EQ(str(c[u"formula"_s]), "=" + std::string(sheet::errorText(v.error()))) << at;
        }
        break;
    case sheet::Value::Type::Empty:
        EXPECT_TRUE(value.isNull() || (cell.formula && value.toDouble() == 0)) << at << ": " << str(value);
        break;
    }
}

// A header or footer split at its section codes, as openpyxl gives it: left, centre, right, each
// without its font name (&"Arial,Bold"), which openpyxl keeps apart.
std::vector<std::string> sections(const std::string& codes) {
    std::vector<std::string> out(3);
    std::size_t section = 1;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] == '&' && i + 1 < codes.size() && codes[i + 1] == '"') {
            i = std::min(codes.find('"', i + 2), codes.size());
            continue;
        }
        if (codes[i] == '&' && i + 1 < codes.size()) {
            const std::size_t k = std::string("LCR").find(codes[i + 1]);
            if (k != std::string::npos) {
                section = k;
                ++i;
                continue;
            }
            out[section] += codes[i];
            out[section] += codes[++i];
            continue;
        }
        out[section] += codes[i];
    }
    return out;
}

void expectSheetSettings(const sheet::Workbook& ours, int index, const QJsonObject& js) {
    const sheet::Sheet& s = ours.sheets[static_cast<std::size_t>(index)];
    // Merged ranges.
    std::set<std::string> merged, theirs;
    for (const sheet::Area& m : s.merged) {
        merged.insert(sheet::toA1(m));
    }
    for (const QJsonValue& m : js[u"merged"_s].toArray()) {
        theirs.insert(m.toString().toStdString());
    }
    EXPECT_EQ(theirs, merged);

    // Column widths: the same pixels on screen, and the same hidden columns.
    std::map<int, QJsonObject> columns;
    for (const QJsonValue& c : js[u"columns"_s].toObject()) {
        const QJsonObject o = c.toObject();
        for (int col = o[u"min"_s].toInt(); col <= o[u"max"_s].toInt(); ++col) {
            columns[col - 1] = o;
        }
    }
    for (int col = 0; col < sheet::kMaxColumns; ++col) {
        const sheet::ColumnInfo* info = s.columnInfoAt(col);
        const std::string name = sheet::columnName(col);
        const bool ownWidth = info && info->width256;
        const bool hidden = info && info->hidden;
        if (!ownWidth && !hidden && s.defaultColumnWidth == 8) {
            EXPECT_EQ(columns.count(col), 0u) << "column " << name;
            continue;
        }
        ASSERT_EQ(columns.count(col), 1u) << "column " << name;
        const QJsonObject c = columns[col];
        EXPECT_EQ(c[u"hidden"_s].toBool(), hidden) << "column " << name;
        const auto stored = static_cast<int>(std::lround(c[u"width"_s].toDouble() * 256));
        const int pixels = ownWidth ? render::columnPixelsFromWidth256(*info->width256, 7)
                                    : render::defaultColumnPixels(s.defaultColumnWidth, 7);
        EXPECT_EQ(render::columnPixelsFromWidth256(stored, 7), pixels)
            << "column " << name << " width " << c[u"width"_s].toDouble();
    }
    // Row heights.
    const QJsonObject rows = js[u"rows"_s].toObject();
    EXPECT_DOUBLE_EQ(js[u"defaultRowHeight"_s].toDouble(), s.defaultRowHeightTwips / 20.0);
    for (int row = 0; row <= s.lastRowWithInfo(); ++row) {
        const sheet::RowInfo* info = s.rowInfoAt(row);
        const QString key = QString::number(row + 1);
        if (!info || (!info->heightTwips && !info->hidden)) {
            continue;
        }
        ASSERT_TRUE(rows.contains(key)) << "row " << row + 1;
        const QJsonObject r = rows[key].toObject();
        EXPECT_EQ(r[u"hidden"_s].toBool(), info->hidden) << "row " << row + 1;
        if (info->heightTwips) {
            EXPECT_NEAR(r[u"height"_s].toDouble(), *info->heightTwips / 20.0, 1e-9) << "row " << row + 1;
        }
    }
    // Comments.
    const QJsonObject comments = js[u"comments"_s].toObject();
    EXPECT_EQ(comments.size(), static_cast<qsizetype>(s.comments.size()));
    for (const sheet::Comment& c : s.comments) {
        const QJsonObject o = comments[QString::fromStdString(sheet::toA1(c.pos))].toObject();
        EXPECT_EQ(str(o[u"text"_s]), c.text) << sheet::toA1(c.pos);
        EXPECT_EQ(o[u"author"_s].toString().toStdString(), c.author) << sheet::toA1(c.pos);
    }
    // Page set-up, header and footer.
    const QJsonObject page = js[u"page"_s].toObject();
    const sheet::PageSetup& p = s.pageSetup;
    EXPECT_EQ(page[u"paperSize"_s].toInt(), p.paperSize);
    EXPECT_EQ(str(page[u"orientation"_s]), p.portrait ? "portrait" : "landscape");
    EXPECT_EQ(page[u"scale"_s].toInt(), p.scale);
    const std::pair<const char*, double> margins[] = {{"left", p.left},     {"right", p.right},   {"top", p.top},
                                                      {"bottom", p.bottom}, {"header", p.header}, {"footer", p.footer}};
    for (const auto& [name, inches] : margins) {
        EXPECT_DOUBLE_EQ(page[QString::fromLatin1(name)].toDouble(), inches) << name;
    }
    for (const auto& [key, text] : {std::pair{u"header"_s, p.headerText}, std::pair{u"footer"_s, p.footerText}}) {
        const QJsonArray got = js[key].toArray();
        const std::vector<std::string> want = sections(text);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(got[k].isNull() ? std::string() : got[k].toString().toStdString(), want[k])
                << key.toStdString() << " section " << k;
        }
    }
    EXPECT_EQ(js[u"gridlines"_s].toBool(), s.showGridlines);
    EXPECT_EQ(str(js[u"activeCell"_s]), sheet::toA1(s.activeCell));
}

void expectNames(const sheet::Workbook& ours, const QJsonObject& dump) {
    const QJsonArray sheets = dump[u"sheets"_s].toArray();
    const QJsonArray names = dump[u"names"_s].toArray();
    for (const sheet::DefinedName& n : ours.names) {
        if (!n.refersTo) {
            continue;
        }
        // The refersTo text without the sheet's name, as openpyxl gives print ranges.
        const std::string full = formula::printExpression(n.refersTo, &ours);
        if (n.builtin && n.scopeSheet >= 0 && (n.name == "Print_Area" || n.name == "Print_Titles")) {
            const QJsonObject js = sheets[n.scopeSheet].toObject();
            const std::string prefix = "'" + ours.sheets[static_cast<std::size_t>(n.scopeSheet)].name + "'!";
            std::string local = full;
            for (std::size_t at; (at = local.find(prefix)) != std::string::npos;) {
                local.erase(at, prefix.size());
            }
            if (n.name == "Print_Area") {
                const QJsonArray areas = js[u"printArea"_s].toArray();
                ASSERT_EQ(areas.size(), 1) << n.name;
                EXPECT_EQ(str(areas[0]), local) << n.name;
            } else {
                std::string got;
                for (const char* key : {"printTitleColumns", "printTitleRows"}) {
                    const std::string part = str(js[QString::fromLatin1(key)]);
                    if (part != "(none)") {
                        got += (got.empty() ? "" : ",") + part;
                    }
                }
                EXPECT_EQ(got, local) << n.name;
            }
            continue;
        }
        bool found = false;
        for (const QJsonValue& v : names) {
            const QJsonObject o = v.toObject();
            const int scope = o[u"sheet"_s].isNull() ? -1 : o[u"sheet"_s].toInt();
            const std::string name = (n.builtin ? "_xlnm." : "") + n.name;
            if (str(o[u"name"_s]) == name && scope == n.scopeSheet) {
                found = true;
                EXPECT_EQ(str(o[u"refersTo"_s]), full) << n.name;
            }
        }
        EXPECT_TRUE(found) << "the name " << n.name << " is missing";
    }
}

} // namespace

QJsonObject openpyxlDump(const QString& xlsxFile, std::string& problem) {
    const QString python = pythonWith(u"openpyxl"_s);
    if (python.isEmpty()) {
        problem = "python3-openpyxl is not installed";
        return {};
    }
    const ToolRun r = runTool(python, {QStringLiteral(MARKWELL_TEST_SUPPORT_DIR "/openpyxl_dump.py"), xlsxFile});
    if (!r.ok) {
        problem = "openpyxl cannot read " + xlsxFile.toStdString() + ": " + r.err.toStdString();
        return {};
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    if (!doc.isObject()) {
        problem = "openpyxl_dump.py printed no JSON object: " + error.errorString().toStdString();
        return {};
    }
    return doc.object();
}

int expectOpenpyxlReads(const sheet::Workbook& ours, const QJsonObject& dump) {
    for (const QJsonValue& w : dump[u"warnings"_s].toArray()) {
        ADD_FAILURE() << "openpyxl warns: " << w.toString().toStdString();
    }
    const QJsonArray sheets = dump[u"sheets"_s].toArray();
    if (sheets.size() != static_cast<qsizetype>(ours.sheets.size())) {
        ADD_FAILURE() << "openpyxl read " << sheets.size() << " sheets, we wrote " << ours.sheets.size();
        return 0;
    }
    EXPECT_EQ(dump[u"activeSheet"_s].toInt(), ours.activeSheet);
    int compared = 0;
    for (std::size_t i = 0; i < ours.sheets.size(); ++i) {
        const sheet::Sheet& s = ours.sheets[i];
        const QJsonObject js = sheets[static_cast<qsizetype>(i)].toObject();
        EXPECT_EQ(str(js[u"name"_s]), s.name);
        const QJsonObject cells = js[u"cells"_s].toObject();
        s.forEachCell([&](int row, int col, const sheet::Cell& cell) {
            const std::string at = s.name + "!" + sheet::toA1(sheet::CellPos{row, col});
            const QString key = QString::fromStdString(sheet::toA1(sheet::CellPos{row, col}));
            if (!cells.contains(key)) {
                ADD_FAILURE() << at << " is missing";
                return;
            }
            const QJsonObject c = cells[key].toObject();
            ++compared;
            if (c[u"merged"_s].toBool()) {
                // A covered cell of a merged range: only its emptiness is known.
                EXPECT_TRUE(!cell.formula && cell.value.isEmpty()) << at << " is covered by a merge";
                return;
            }
            if (cell.formula) {
                EXPECT_EQ(str(c[u"formula"_s]), formula::printFormula(cell.formula, &ours)) << at;
            } else if (!cell.value.isError()) {
                EXPECT_TRUE(c[u"formula"_s].isNull()) << at;
            }
            expectValue(cell, c, at);
            expectFormat(ours.formats.at(cell.format), c, at);
        });
        expectSheetSettings(ours, static_cast<int>(i), js);
    }
    expectNames(ours, dump);
    return compared;
}

} // namespace markwell::test
