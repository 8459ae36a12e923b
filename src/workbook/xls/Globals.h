#pragma once

#include "Palette.h"
#include "RecordReader.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace markwell::xls {

// The workbook globals substream as read from the file, before it is turned into the model.
struct FontRecord {
    int heightTwips = 200;
    bool italic = false, strike = false, bold = false, underline = false;
    std::uint16_t colour = kColourFontAutomatic;
    std::string name;
};

struct XfRecord {
    std::uint16_t font = 0, format = 0;
    bool locked = true, style = false;
    std::uint8_t halign = 0, valign = 2, rotation = 0, indent = 0;
    bool wrap = false;
    std::uint8_t left = 0, right = 0, top = 0, bottom = 0; // line styles
    std::uint16_t leftColour = 0, rightColour = 0, topColour = 0, bottomColour = 0;
    std::uint8_t pattern = 0;
    std::uint16_t foreColour = kColourWindowText, backColour = kColourWindowBackground;
};

struct SheetEntry {
    std::uint32_t offset = 0;
    std::uint8_t visibility = 0;
    std::uint8_t type = 0; // 0 worksheet, 1 macro sheet, 2 chart, 6 VB module
    std::string name;
};

struct SupBook {
    enum class Kind { Internal, AddIn, External, Other } kind = Kind::Other;
    std::vector<std::string> externNames; // EXTERNNAME records after it
};

struct ExternSheetEntry {
    std::uint16_t supBook = 0, firstSheet = 0, lastSheet = 0;
};

struct NameRecord {
    std::string name; // built-in names by their plain text (Print_Area ...)
    bool builtin = false, hidden = false, function = false;
    int sheet = -1; // BOUNDSHEET index of a sheet-level name, -1 for the workbook
    Bytes rgce;
};

struct Globals {
    std::vector<FontRecord> fonts; // by font index (index 4 does not exist: see fontAt)
    std::map<std::uint16_t, std::string> formats;
    std::vector<XfRecord> xfs;
    Palette palette;
    std::vector<SheetEntry> sheets;
    std::vector<std::string> sst;
    std::vector<SupBook> supBooks;
    std::vector<ExternSheetEntry> externSheets;
    std::vector<NameRecord> names;
    bool date1904 = false;
    bool resultsCurrent = false; // RECALCID names this engine
    int activeSheet = 0;

    // The FONT record a font index means; BIFF skips index 4.
    const FontRecord* fontAt(std::uint16_t index) const;
};

// Reads the globals substream from its BOF (already checked by the caller) to its EOF.
// Throws XlsError for encryption and damaged records.
Globals readGlobals(RecordReader& in);

// The format code of a built-in number format index, or empty when the index is not built in.
std::string builtinNumberFormat(std::uint16_t index);

} // namespace markwell::xls
