// Compound document reader on arbitrary bytes: every stream it lists must read or be refused.
#include "workbook/xls/cfb/CompoundFileReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace markwell::xls;
    try {
        cfb::CompoundFileReader reader(Bytes(data, data + size));
        for (std::uint32_t index : reader.rootStreams()) {
            try {
                (void)reader.readStream(index);
            } catch (const XlsError&) {
            }
        }
    } catch (const XlsError&) {
    }
    return 0;
}
