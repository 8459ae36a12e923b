#include "workbook/sheet/Workbook.h"

namespace markwell::sheet {

std::string upperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return out;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

Workbook::Workbook() : formats(1) {}

std::uint32_t Workbook::addFormat(const CellFormat& format) {
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (formats[i] == format) {
            return static_cast<std::uint32_t>(i);
        }
    }
    formats.push_back(format);
    return static_cast<std::uint32_t>(formats.size() - 1);
}

int Workbook::sheetIndex(std::string_view sheetName) const {
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        if (equalsIgnoringCase(sheets[i].name, sheetName)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

const DefinedName* Workbook::findName(std::string_view nameText, int fromSheet) const {
    const DefinedName* global = nullptr;
    for (const DefinedName& n : names) {
        if (!equalsIgnoringCase(n.name, nameText)) {
            continue;
        }
        if (n.scopeSheet == fromSheet && fromSheet >= 0) {
            return &n;
        }
        if (n.scopeSheet == -1 && !global) {
            global = &n;
        }
    }
    return global;
}

} // namespace markwell::sheet
