#pragma once

#include "workbook/sheet/Workbook.h"

#include <filesystem>
#include <stdexcept>
#include <string>

namespace markwell::xlsx {

// Why a workbook could not be written as .xlsx. what() is a sentence naming the problem; the
// caller adds the file name.
class XlsxError : public std::runtime_error {
public:
    explicit XlsxError(const std::string& message) : std::runtime_error(message) {}
};

// Writes the workbook as an Office Open XML workbook (.xlsx) through libxlsxwriter: every cell
// with its formula and the formula's cached result, the cell formats (number format, font, fill,
// borders, alignment, wrapping, indent, rotation, protection), merged ranges, column widths and
// row heights, the defined names, comments, page set-up with header and footer, gridlines, the
// active sheet and the active cell.
//
// The cached results are stored as the model holds them: numbers as numbers, texts as texts.
// libxlsxwriter has no way to store a boolean or an error as a formula's result, so those go in
// as their text ("TRUE", "#DIV/0!"); the file asks every spreadsheet program to recalculate on
// opening, which gives them their true type again. A constant error cell becomes the formula of
// that error (=#N/A), which every program evaluates to the same error.
//
// Creates or replaces `file`; the caller chooses a path that is safe to write. libxlsxwriter's own
// temporary files go to `scratchFolder` (empty: the system's). Throws XlsxError when the workbook
// holds something the format cannot take (a text longer than 32767 characters, an invalid sheet
// name ...) or the file cannot be written; nothing is written then, except possibly a partial
// file at `file` when the final write itself fails.
void writeXlsx(const sheet::Workbook& workbook, const std::filesystem::path& file,
               const std::filesystem::path& scratchFolder = {});

// The width libxlsxwriter takes for a column (characters of the maximum digit width, without the
// cell padding) that gives back exactly the stored width `width256` (1/256 of a character,
// padding included, as .xls files keep it), for the 7-pixel digits of the default fonts.
double columnWidthCharacters(int width256);

} // namespace markwell::xlsx
