// maketemplate: writes the gradebook template as an .xls file and as a C++ source that holds the
// same bytes, for the build to compile into the program.
//
//   maketemplate <template.xls> <TemplateData.cpp>

#include "gradebook/template/TemplateWorkbook.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using namespace markwell;

namespace {

// Writes next to the target and renames over it, so an interrupted build never leaves a
// half-written file that looks up to date.
void writeFile(const fs::path& path, const std::string& bytes) {
    const fs::path part = path.string() + ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) {
            throw std::runtime_error("cannot create " + part.string());
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            throw std::runtime_error("cannot write " + part.string());
        }
    }
    std::error_code ec;
    fs::rename(part, path, ec);
    if (ec) {
        fs::remove(part, ec);
        throw std::runtime_error("cannot replace " + path.string() + ": " + ec.message());
    }
}

std::string embeddingSource(const xls::Bytes& bytes) {
    std::string out;
    out += "// Written by maketemplate at build time; do not edit.\n";
    out += "#include \"gradebook/template/TemplateData.h\"\n\n";
    out += "namespace markwell::gradetemplate {\n\nnamespace {\n\n";
    out += "const unsigned char kTemplate[" + std::to_string(bytes.size()) + "] = {";
    char hex[8];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        out += i % 16 == 0 ? "\n    " : " ";
        std::snprintf(hex, sizeof hex, "0x%02X,", static_cast<unsigned>(bytes[i]));
        out += hex;
    }
    out += "\n};\n\n} // namespace\n\n";
    out += "std::span<const unsigned char> templateWorkbookBytes() {\n    return kTemplate;\n}\n\n";
    out += "} // namespace markwell::gradetemplate\n";
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: maketemplate <template.xls> <TemplateData.cpp>\n";
        return 2;
    }
    try {
        const xls::Bytes bytes = xls::writeXls(gradetemplate::buildTemplateWorkbook());
        if (bytes.empty()) {
            throw std::runtime_error("the writer produced no bytes");
        }
        // What we embed must at least open in our own reader.
        try {
            (void)xls::readXls(xls::ByteView(bytes.data(), bytes.size()));
        } catch (const std::exception& e) {
            throw std::runtime_error(std::string("the written template does not read back: ") + e.what());
        }
        writeFile(argv[1], std::string(bytes.begin(), bytes.end()));
        writeFile(argv[2], embeddingSource(bytes));
    } catch (const std::exception& e) {
        std::cerr << "maketemplate: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
