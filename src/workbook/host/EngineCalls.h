#pragma once

#include "workbook/sheet/Workbook.h"

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The few engine entry points the embedded host uses, gathered in one place.
namespace markwell::engine {

// Reads a BIFF8 workbook; throws std::exception with a description of the fault.
sheet::Workbook readWorkbook(const QByteArray& bytes);
// Writes it as .xls, handing the file to `sink` piece by piece.
void writeWorkbook(const sheet::Workbook& workbook, const std::function<void(std::span<const std::uint8_t>)>& sink);

// What a cell holds after its value is set to a text: a number when the text is a number that
// converts without loss, otherwise the text.
sheet::Value valueOfText(const std::string& text);

// Inserts `times` copies of `source` at `at`: whole rows shifting the rows below down, or a
// block of cells shifting the cells to its right.
void insertCopies(sheet::Workbook& workbook, int sheet, const sheet::Area& source, sheet::CellPos at, bool down,
                  int times);
void deleteRows(sheet::Workbook& workbook, int sheet, int firstRow, int lastRow);
// Makes `area` the sheet's print area (its Print_Area name), creating the name when missing.
void setPrintArea(sheet::Workbook& workbook, int sheet, const sheet::Area& area);
void recalculate(sheet::Workbook& workbook);

// The smallest rectangle holding every cell with a value or a format; nothing on an empty sheet.
std::optional<sheet::Area> usedArea(const sheet::Sheet& sheet);

// The picture of an area as it is shown on screen.
QImage pictureOf(const sheet::Workbook& workbook, int sheet, const sheet::Area& area);

} // namespace markwell::engine
