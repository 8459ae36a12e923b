#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace markwell::xls;
namespace fs = std::filesystem;

// Every file of the outside corpus either opens or is refused with a message; none may crash,
// hang or exhaust memory (the sanitizers watch). What opens must also survive being written by us
// and read back with the same cells.
TEST(XlsCorpus, EveryFileOpensOrIsRefusedCleanly) {
    const fs::path dir = fs::path(MARKWELL_SHARED_DIR) / "corpus" / "xls";
    if (!fs::is_directory(dir)) {
        GTEST_SKIP() << "no corpus folder at " << dir;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() == ".xls") {
            files.push_back(e.path());
        }
    }
    std::sort(files.begin(), files.end());
    int opened = 0, rewritten = 0;
    std::map<XlsErrorKind, int> refused;
    std::map<XlsErrorKind, std::string> example;
    for (const fs::path& f : files) {
        SCOPED_TRACE(f.filename().string());
        try {
            ReadResult r = readXlsFile(f);
            ++opened;
            EXPECT_FALSE(r.workbook.sheets.empty());
            // Our own writer takes whatever our reader produced.
            try {
                const Bytes again = writeXls(r.workbook);
                ReadResult back = readXls(again);
                ASSERT_EQ(back.workbook.sheets.size(), r.workbook.sheets.size());
                for (std::size_t s = 0; s < r.workbook.sheets.size(); ++s) {
                    const auto& a = r.workbook.sheets[s];
                    const auto& b = back.workbook.sheets[s];
                    int cells = 0, same = 0;
                    a.forEachCell([&](int row, int col, const markwell::sheet::Cell& cell) {
                        ++cells;
                        const auto* other = b.cell(row, col);
                        if (other && other->value == cell.value) {
                            ++same;
                        }
                    });
                    EXPECT_EQ(same, cells) << "sheet " << a.name;
                }
                ++rewritten;
            } catch (const XlsError& e) {
                // A name or sheet our writer cannot express is reported, never written wrongly.
                EXPECT_EQ(e.kind(), XlsErrorKind::Unsupported) << e.what();
            }
        } catch (const XlsError& e) {
            EXPECT_GT(std::string(e.what()).size(), 10u);
            ++refused[e.kind()];
            example.try_emplace(e.kind(), f.filename().string() + ": " + e.what());
        }
    }
    int refusedTotal = 0;
    for (const auto& [kind, n] : refused) {
        refusedTotal += n;
        std::cout << "  refused " << n << ", e.g. " << example[kind] << "\n";
    }
    std::cout << "corpus: " << files.size() << " files, " << opened << " opened (" << rewritten
              << " written back by us), " << refusedTotal << " refused\n";
    // Most of the corpus is ordinary BIFF8.
    EXPECT_GT(opened, static_cast<int>(files.size()) / 2);
}
