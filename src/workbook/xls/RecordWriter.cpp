#include "RecordWriter.h"

#include "RecordIds.h"

#include <algorithm>

namespace markwell::xls {

void RecordWriter::header(std::uint16_t id, std::size_t length) {
    m_out.u16(id);
    m_out.u16(static_cast<unsigned>(length));
}

void RecordWriter::write(std::uint16_t id, ByteView data) {
    std::size_t done = 0;
    bool first = true;
    do {
        const std::size_t n = std::min(rec::kMaxRecordData, data.size() - done);
        header(first ? id : rec::kContinue, n);
        m_out.bytes(data.subspan(done, n));
        done += n;
        first = false;
    } while (done < data.size());
}

void RecordWriter::writeContinued(std::uint16_t id, const std::vector<Bytes>& pieces) {
    bool first = true;
    for (const Bytes& piece : pieces) {
        header(first ? id : rec::kContinue, piece.size());
        m_out.bytes(piece);
        first = false;
    }
}

} // namespace markwell::xls
