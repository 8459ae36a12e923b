#pragma once

#include "ByteIO.h"
#include "XlsError.h"

#include "workbook/sheet/Workbook.h"

#include <filesystem>
#include <string>
#include <vector>

namespace markwell::xls {

// What was read and what had to be left out on the way (a formula we cannot decode keeps its
// cached value, a chart sheet is skipped ...). A file we cannot read at all raises XlsError.
struct ReadResult {
    sheet::Workbook workbook;
    std::vector<std::string> warnings;
};

// Reads a BIFF8 workbook (.xls) from memory. Throws XlsError naming the problem; the caller adds
// the file name.
ReadResult readXls(ByteView file);
// Reads the file first; a file that cannot be opened is an XlsError as well.
ReadResult readXlsFile(const std::filesystem::path& path);

} // namespace markwell::xls
