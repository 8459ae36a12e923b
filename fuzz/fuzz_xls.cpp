// The .xls reader on arbitrary bytes: it must read or refuse, never crash, hang or run out of
// memory. What it reads goes through the writer and the reader again.
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace markwell::xls;
    try {
        ReadResult result = readXls(ByteView(data, size));
        try {
            const Bytes again = writeXls(result.workbook);
            (void)readXls(again);
        } catch (const XlsError& e) {
            // Only what the format cannot express may be refused on writing.
            if (e.kind() != XlsErrorKind::Unsupported) {
                __builtin_trap();
            }
        }
    } catch (const XlsError&) {
    }
    return 0;
}
