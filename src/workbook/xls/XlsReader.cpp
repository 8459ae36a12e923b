#include "XlsReader.h"

#include "FormulaReader.h"
#include "Globals.h"
#include "RecordIds.h"
#include "RecordReader.h"
#include "SheetReader.h"
#include "cfb/CompoundFileReader.h"

#include <fstream>
#include <optional>

namespace markwell::xls {

namespace {

constexpr std::uintmax_t kMaxFileBytes = 1u << 30;

// The file is not a compound document: say what it looks like instead.
[[noreturn]] void refuseNonCompound(ByteView data) {
    if (data.size() >= 4 && data[0] == 'P' && data[1] == 'K' && data[2] == 3 && data[3] == 4) {
        throw XlsError(XlsErrorKind::NotCompoundFile,
                       "The file is a ZIP package (perhaps an .xlsx or .ods workbook), not a binary .xls workbook.");
    }
    if (data.size() >= 4 && data[1] <= 0x08 && (data[0] == 0x09) &&
        (data[1] == 0x00 || data[1] == 0x02 || data[1] == 0x04 || data[1] == 0x08)) {
        throw XlsError(XlsErrorKind::OldFormat,
                       "The file is a BIFF2, BIFF3 or BIFF4 worksheet (a very old spreadsheet format), which this "
                       "program does not read.");
    }
    if (data.empty()) {
        throw XlsError(XlsErrorKind::NotCompoundFile, "The file is empty.");
    }
    throw XlsError(XlsErrorKind::NotCompoundFile, "The file is not an .xls workbook (it is not a compound document).");
}

// The version in a stream's first BOF record, or nothing when it does not start with one.
std::optional<std::uint16_t> bofVersion(ByteView stream, std::uint16_t* substream) {
    if (stream.size() < 8) {
        return std::nullopt;
    }
    const std::uint16_t id = load16(stream.data());
    if (id == rec::kBof) {
        *substream = load16(stream.data() + 6);
        return load16(stream.data() + 4);
    }
    if (id == rec::kBofBiff2 || id == rec::kBofBiff3 || id == rec::kBofBiff4) {
        return static_cast<std::uint16_t>(0x0200);
    }
    return std::nullopt;
}

// The workbook stream, a view of the file or of `storage`.
ByteView workbookStream(const cfb::CompoundFileReader& cfb, Bytes& storage) {
    if (auto wb = cfb.findStream("Workbook")) {
        return cfb.streamView(*wb, storage);
    }
    if (auto book = cfb.findStream("Book")) {
        // "Book" holds BIFF5/7; a few writers put BIFF8 there, which we read like any other.
        const ByteView data = cfb.streamView(*book, storage);
        std::uint16_t substream = 0;
        if (bofVersion(data, &substream) == rec::kBiff8Version) {
            return data;
        }
        throw XlsError(XlsErrorKind::OldFormat, "The workbook is in the BIFF5 format (Excel 5.0/95), which this "
                                                "program does not read. Save it in the Excel 97-2003 format first.");
    }
    throw XlsError(XlsErrorKind::NoWorkbook, "The compound document holds no workbook stream.");
}

sheet::BorderStyle borderStyle(unsigned code) {
    using B = sheet::BorderStyle;
    switch (code) {
    case 0:
        return B::None;
    case 1:
        return B::Thin;
    case 2:
        return B::Medium;
    case 3:
    case 8:
    case 9:
    case 10:
    case 13:
        return B::Dashed;
    case 4:
    case 11:
    case 12:
        return B::Dotted;
    case 5:
        return B::Thick;
    case 6:
        return B::Double;
    case 7:
        return B::Hair;
    default:
        return B::Thin;
    }
}

sheet::HAlign hAlign(unsigned code) {
    using H = sheet::HAlign;
    switch (code) {
    case 1:
        return H::Left;
    case 2:
        return H::Center;
    case 3:
        return H::Right;
    case 4:
        return H::Fill;
    case 5:
    case 7:
        return H::Justify;
    case 6:
        return H::CenterAcross;
    default:
        return H::General;
    }
}

sheet::VAlign vAlign(unsigned code) {
    using V = sheet::VAlign;
    switch (code) {
    case 0:
        return V::Top;
    case 1:
        return V::Center;
    case 3:
    case 4:
        return V::Justify;
    default:
        return V::Bottom;
    }
}

sheet::CellFormat convertXf(const Globals& g, const XfRecord& xf) {
    sheet::CellFormat f;
    if (const FontRecord* font = g.fontAt(xf.font)) {
        if (!font->name.empty()) {
            f.font.name = font->name;
        }
        f.font.heightTwips = font->heightTwips;
        f.font.bold = font->bold;
        f.font.italic = font->italic;
        f.font.underline = font->underline;
        f.font.strike = font->strike;
        f.font.colour = g.palette.resolve(font->colour, 0x000000);
    }
    if (auto it = g.formats.find(xf.format); it != g.formats.end()) {
        f.numberFormat = it->second;
    } else if (std::string code = builtinNumberFormat(xf.format); !code.empty()) {
        f.numberFormat = code;
    }
    if (xf.pattern != 0) {
        f.fill = g.palette.resolve(xf.foreColour, xf.foreColour == kColourWindowText ? 0x000000 : 0xFFFFFF);
    }
    auto border = [&](unsigned style, unsigned colour) {
        return sheet::Border{borderStyle(style), style ? g.palette.resolve(colour, 0x000000) : 0u};
    };
    f.left = border(xf.left, xf.leftColour);
    f.right = border(xf.right, xf.rightColour);
    f.top = border(xf.top, xf.topColour);
    f.bottom = border(xf.bottom, xf.bottomColour);
    f.halign = hAlign(xf.halign);
    f.valign = vAlign(xf.valign);
    f.wrap = xf.wrap;
    f.locked = xf.locked;
    f.indent = xf.indent;
    f.rotation = xf.rotation;
    return f;
}

} // namespace

ReadResult readXls(ByteView file) {
    if (!cfb::hasCompoundSignature(file)) {
        refuseNonCompound(file);
    }
    const auto container = cfb::CompoundFileReader::borrowing(file);
    Bytes storage;
    const ByteView stream = workbookStream(container, storage);

    std::uint16_t substream = 0;
    const auto version = bofVersion(stream, &substream);
    if (!version) {
        throw XlsError(XlsErrorKind::Corrupt, "The workbook stream does not start with a BOF record.");
    }
    if (*version != rec::kBiff8Version) {
        throw XlsError(XlsErrorKind::OldFormat,
                       *version == rec::kBiff5Version
                           ? "The workbook is in the BIFF5 format (Excel 5.0/95), which this program does not read."
                           : "The workbook is in a BIFF version this program does not read.");
    }
    if (substream != rec::kSubGlobals) {
        throw XlsError(XlsErrorKind::Corrupt, "The workbook stream does not start with the workbook globals.");
    }
    RecordReader in(stream);
    in.next(); // the BOF just checked
    Globals g = readGlobals(in);

    ReadResult result;
    sheet::Workbook& wb = result.workbook;
    wb.date1904 = g.date1904;
    wb.resultsCurrent = g.resultsCurrent;

    // The workbook's default font is its font 0, the one of the Normal style: what unstyled cells
    // show and what column widths are counted in.
    if (g.fontAt(0)) {
        wb.formats.front().font = convertXf(g, XfRecord{}).font;
    }
    // Cell formats: every XF becomes a model format, identical ones shared.
    std::vector<std::uint32_t> xfMap(g.xfs.size(), 0);
    for (std::size_t i = 0; i < g.xfs.size(); ++i) {
        if (!g.xfs[i].style) {
            xfMap[i] = wb.addFormat(convertXf(g, g.xfs[i]));
        }
    }

    std::vector<int> sheetMap(g.sheets.size(), -1);
    for (std::size_t i = 0; i < g.sheets.size(); ++i) {
        if (g.sheets[i].type == 0) {
            sheetMap[i] = static_cast<int>(wb.sheets.size());
            wb.sheets.emplace_back();
            wb.sheets.back().name = g.sheets[i].name;
        } else {
            result.warnings.push_back("The sheet \"" + g.sheets[i].name +
                                      "\" is a chart, macro or module sheet and was left out.");
        }
    }
    if (wb.sheets.empty()) {
        throw XlsError(XlsErrorKind::Corrupt, "The workbook has no worksheet.");
    }
    // Room for 10 million stored cells (a full gradebook has 8.4), more for larger files.
    std::size_t cellBudget = 10'000'000 + file.size();
    for (std::size_t i = 0; i < g.sheets.size(); ++i) {
        if (sheetMap[i] < 0) {
            continue;
        }
        sheet::Sheet& target = wb.sheets[static_cast<std::size_t>(sheetMap[i])];
        in.seek(g.sheets[i].offset);
        auto bof = in.next();
        if (!bof || bof->id != rec::kBof) {
            throw XlsError(XlsErrorKind::Corrupt,
                           "The sheet \"" + target.name + "\" does not start with a BOF record.");
        }
        readSheet(in, g, xfMap, sheetMap, target, result.warnings, cellBudget);
    }

    // Defined names, now that the sheets are known. A name whose target we cannot hold (a macro,
    // another workbook) is kept pointing at #REF!, so formulas using it still read and write.
    for (const NameRecord& n : g.names) {
        sheet::DefinedName name;
        name.name = n.name;
        name.builtin = n.builtin;
        name.scopeSheet = -1;
        if (n.sheet >= 0) {
            if (static_cast<std::size_t>(n.sheet) >= sheetMap.size() ||
                sheetMap[static_cast<std::size_t>(n.sheet)] < 0) {
                continue; // it belongs to a sheet that was left out
            }
            name.scopeSheet = sheetMap[static_cast<std::size_t>(n.sheet)];
        }
        const sheet::DefinedName* earlier = wb.findName(name.name, name.scopeSheet);
        if (name.name.empty() || (earlier && earlier->scopeSheet == name.scopeSheet)) {
            continue; // nameless, or a second definition of the same name
        }
        try {
            FormulaReadContext context;
            context.globals = &g;
            context.sheetOfBoundSheet = sheetMap;
            context.forName = true;
            name.refersTo = decodeFormula(n.rgce, context);
        } catch (const XlsError& e) {
            if (!n.function) {
                result.warnings.push_back("The defined name \"" + n.name + "\" was kept as #REF!: " + e.what());
            }
            name.refersTo = formula::makeRefError();
        }
        wb.names.push_back(std::move(name));
    }

    if (g.activeSheet >= 0 && static_cast<std::size_t>(g.activeSheet) < sheetMap.size() &&
        sheetMap[static_cast<std::size_t>(g.activeSheet)] >= 0) {
        wb.activeSheet = sheetMap[static_cast<std::size_t>(g.activeSheet)];
    }
    return result;
}

ReadResult readXlsFile(const std::filesystem::path& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        throw XlsError(XlsErrorKind::NotCompoundFile, "The file cannot be opened: " + ec.message() + ".");
    }
    if (size > kMaxFileBytes) {
        throw XlsError(XlsErrorKind::TooLarge, "The file is larger than 1 GB, too large for an .xls workbook.");
    }
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        throw XlsError(XlsErrorKind::NotCompoundFile, "The file cannot be opened for reading.");
    }
    Bytes data(static_cast<std::size_t>(size));
    f.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (static_cast<std::size_t>(f.gcount()) != data.size()) {
        throw XlsError(XlsErrorKind::Truncated, "The file could not be read completely.");
    }
    return readXls(data);
}

} // namespace markwell::xls
