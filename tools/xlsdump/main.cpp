// xlsdump [--records | --cells | --describe] FILE...
//   --records   the record structure of the workbook stream
//   --cells     the canonical cell lines that the tests compare with other readers
//   --describe  (default) formats, names, sheets, formulas and page set-up, for people
#include "workbook/xls/WorkbookDump.h"
#include "workbook/xls/XlsReader.h"

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

int usage() {
    std::cerr << "usage: xlsdump [--records | --cells | --describe] FILE...\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace markwell::xls;
    enum class Mode { Records, Cells, Describe } mode = Mode::Describe;
    int first = 1;
    if (argc > 1 && argv[1][0] == '-') {
        if (std::strcmp(argv[1], "--records") == 0) {
            mode = Mode::Records;
        } else if (std::strcmp(argv[1], "--cells") == 0) {
            mode = Mode::Cells;
        } else if (std::strcmp(argv[1], "--describe") == 0) {
            mode = Mode::Describe;
        } else {
            return usage();
        }
        first = 2;
    }
    if (first >= argc) {
        return usage();
    }
    int status = 0;
    for (int i = first; i < argc; ++i) {
        try {
            std::vector<std::string> lines;
            if (mode == Mode::Records) {
                std::ifstream f(argv[i], std::ios::binary);
                if (!f) {
                    throw XlsError(XlsErrorKind::NotCompoundFile, "The file cannot be opened for reading.");
                }
                const Bytes data((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
                lines = dumpRecords(data);
            } else {
                const ReadResult r = readXlsFile(argv[i]);
                lines = mode == Mode::Cells ? dumpWorkbook(r.workbook) : describeWorkbook(r.workbook);
                for (const std::string& w : r.warnings) {
                    std::cerr << argv[i] << ": warning: " << w << "\n";
                }
            }
            if (argc - first > 1) {
                std::cout << "== " << argv[i] << "\n";
            }
            for (const std::string& line : lines) {
                std::cout << line << "\n";
            }
        } catch (const XlsError& e) {
            std::cerr << argv[i] << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}
