#include "workbook/formula/Parser.h"
#include "workbook/xls/RecordReader.h"
#include "workbook/xls/XlsWriter.h"
#include "workbook/xls/cfb/CompoundFileReader.h"
#include "workbook/xls/cfb/CompoundFileWriter.h"
#include <fstream>
#include <functional>
using namespace markwell;
using namespace markwell::xls;
struct Rec {
    std::uint16_t id;
    Bytes data;
};

static sheet::Workbook base() {
    sheet::Workbook wb;
    wb.sheets.resize(1);
    wb.sheets[0].name = "S";
    auto& s = wb.sheets[0];
    s.setCell(0, 0, sheet::Cell{sheet::Value("Name"), nullptr, 0});
    s.setCell(0, 1, sheet::Cell{sheet::Value("Points"), nullptr, 0});
    s.setCell(1, 0, sheet::Cell{sheet::Value("Ann"), nullptr, 0});
    s.setCell(1, 1, sheet::Cell{sheet::Value(12.5), nullptr, 0});
    s.setCell(2, 1, sheet::Cell{sheet::Value(12.5), formula::parseFormula("=SUM(B2:B2)"), 0});
    return wb;
}
static std::vector<Rec> records(const Bytes& file) {
    cfb::CompoundFileReader r(file);
    Bytes s = r.readStream(*r.findStream("Workbook"));
    std::vector<Rec> out;
    std::size_t pos = 0;
    while (pos + 4 <= s.size()) {
        std::uint16_t id = load16(&s[pos]), len = load16(&s[pos + 2]);
        out.push_back({id, Bytes(s.begin() + pos + 4, s.begin() + pos + 4 + len)});
        pos += 4 + len;
    }
    return out;
}
static Bytes stream(std::vector<Rec> recs) {
    // Lay out, then point the BOUNDSHEET records at the sheet BOFs after the first.
    std::vector<std::size_t> bofs;
    Bytes out;
    for (int pass = 0; pass < 2; ++pass) {
        out.clear();
        bofs.clear();
        std::size_t sheetIndex = 0;
        for (auto& r : recs) {
            if (r.id == 0x0809)
                bofs.push_back(out.size());
            if (pass == 1 && r.id == 0x0085 && sheetIndex + 1 < bofs.size() + 100) { /* patched below */
            }
            out.push_back(r.id & 0xFF);
            out.push_back(r.id >> 8);
            out.push_back(r.data.size() & 0xFF);
            out.push_back(r.data.size() >> 8);
            out.insert(out.end(), r.data.begin(), r.data.end());
        }
        std::size_t k = 1;
        for (auto& r : recs)
            if (r.id == 0x0085 && k < bofs.size() && r.data.size() >= 4) {
                std::uint32_t v = bofs[k++];
                for (int i = 0; i < 4; ++i)
                    r.data[i] = (v >> (8 * i)) & 0xFF;
            }
    }
    return out;
}
static Bytes wrap(Bytes s, const char* name = "Workbook") {
    if (s.size() < 4096)
        s.resize(4096, 0);
    cfb::CompoundFileWriter w;
    w.addStream(name, std::move(s));
    return w.build();
}
static void save(const std::string& name, const Bytes& b) {
    std::ofstream("/work/main/tests/data/xls/broken/" + name, std::ios::binary).write((const char*)b.data(), b.size());
}
int main() {
    const Bytes good = writeXls(base());
    auto recs = records(good);
    auto edit = [&](const std::string& name, std::function<void(std::vector<Rec>&)> f,
                    const char* stream_name = "Workbook") {
        auto r = recs;
        f(r);
        save(name, wrap(stream(r), stream_name));
    };
    edit("sst_index_beyond_table.xls", [](auto& r) {
        for (auto& x : r)
            if (x.id == 0x00FD) {
                x.data[6] = 0x40;
                x.data[7] = 0x42;
            }
    });
    edit("encrypted_filepass.xls", [](auto& r) { r.insert(r.begin() + 1, Rec{0x002F, Bytes{1, 0, 1, 0, 1, 0}}); });
    edit("sheet_without_eof.xls", [](auto& r) { r.pop_back(); });
    {
        Bytes s = stream(recs);
        for (std::size_t pos = 0; pos + 4 <= s.size(); pos += 4 + load16(&s[pos + 2])) {
            if (load16(&s[pos]) == 0x0085) {
                s[pos + 4 + 3] = 0x7F;
            }
        }
        save("boundsheet_offset_beyond_stream.xls", wrap(s));
    }
    edit("formula_garbage_tokens.xls", [](auto& r) {
        for (auto& x : r)
            if (x.id == 0x0006) {
                for (std::size_t i = 22; i < x.data.size(); ++i)
                    x.data[i] = 0xFF;
            }
    });
    edit("formula_deep_nesting.xls", [](auto& r) {
        for (auto& x : r)
            if (x.id == 0x0006) {
                x.data.resize(20);
                Bytes t{0x1E, 1, 0};
                t.insert(t.end(), 7000, 0x13);
                x.data.push_back(t.size() & 0xFF);
                x.data.push_back(t.size() >> 8);
                x.data.insert(x.data.end(), t.begin(), t.end());
            }
    });
    edit("xf_index_out_of_range.xls", [](auto& r) {
        for (auto& x : r)
            if (x.id == 0x00FD) {
                x.data[4] = 0x0F;
                x.data[5] = 0x27;
            }
    });
    edit(
        "biff5_book_stream.xls", [](auto& r) { r[0].data[1] = 0x05; }, "Book");
    edit("mulblank_past_last_column.xls", [](auto& r) {
        for (std::size_t i = 0; i < r.size(); ++i)
            if (r[i].id == 0x0200) {
                Bytes m{3, 0, 0xFA, 0};
                for (int k = 0; k < 20; ++k) {
                    m.push_back(15);
                    m.push_back(0);
                }
                m.push_back(13);
                m.push_back(1);
                r.insert(r.begin() + i + 1, Rec{0x00BE, m});
                break;
            }
    });
    edit("shared_formula_missing.xls", [](auto& r) {
        for (auto& x : r)
            if (x.id == 0x0006) {
                x.data.resize(20);
                Bytes t{0x01, 9, 0, 9, 0};
                x.data.push_back(5);
                x.data.push_back(0);
                x.data.insert(x.data.end(), t.begin(), t.end());
            }
    });
    edit("string_runs_past_record.xls", [](auto& r) {
        for (auto& x : r)
            if (x.id == 0x00FC) {
                x.data[8] = 0xFF;
                x.data[9] = 0x7F;
            }
    });
    // The container itself: a sector chain that loops, and the file cut short.
    Bytes loop = wrap(stream(recs));
    std::uint32_t fat = load32(&loop[76]);
    for (int i = 0; i < 4; ++i)
        loop[(fat + 1) * 512 + i] = 0;
    save("sector_chain_loop.xls", loop);
    Bytes cut = wrap(stream(recs));
    cut.resize(1500);
    save("truncated_in_stream.xls", cut);
    Bytes zip{'P', 'K', 3, 4, 20, 0, 0, 0, 8, 0};
    zip.resize(200, 0);
    save("zip_package_named_xls.xls", zip);
    save("empty_file.xls", Bytes{});
    // A small file whose blank cells reach the last column of every row of several sheets.
    {
        auto r = recs;
        std::size_t dims = 0;
        for (std::size_t i = 0; i < r.size(); ++i)
            if (r[i].id == 0x0200)
                dims = i;
        std::vector<Rec> blanks;
        for (int row = 0; row < 65536; ++row) {
            Bytes b{static_cast<std::uint8_t>(row & 0xFF), static_cast<std::uint8_t>(row >> 8), 0xFF, 0, 16, 0};
            blanks.push_back(Rec{0x0201, b});
        }
        r.insert(r.begin() + dims + 1, blanks.begin(), blanks.end());
        // A second XF so the blanks are formatted, and the sheet listed six times.
        std::size_t lastXf = 0, bound = 0;
        for (std::size_t i = 0; i < r.size(); ++i) {
            if (r[i].id == 0x00E0)
                lastXf = i;
            if (r[i].id == 0x0085)
                bound = i;
        }
        Rec xf = r[lastXf];
        xf.data[4] = 0;
        r.insert(r.begin() + lastXf + 1, xf);
        ++bound;
        for (int k = 1; k < 6; ++k) {
            Rec b = r[bound];
            b.data.back() = static_cast<std::uint8_t>('0' + k);
            r.insert(r.begin() + bound + k, b);
        }
        Bytes s = stream(r);
        // All BOUNDSHEETs point at the one sheet.
        std::uint32_t sheetAt = 0;
        for (std::size_t pos = 0, n = 0; pos + 4 <= s.size(); pos += 4 + load16(&s[pos + 2]))
            if (load16(&s[pos]) == 0x0809 && n++ == 1)
                sheetAt = pos;
        for (std::size_t pos = 0; pos + 4 <= s.size(); pos += 4 + load16(&s[pos + 2]))
            if (load16(&s[pos]) == 0x0085)
                for (int i = 0; i < 4; ++i)
                    s[pos + 4 + i] = (sheetAt >> (8 * i)) & 0xFF;
        save("cells_beyond_memory_budget.xls", wrap(s));
    }
}
