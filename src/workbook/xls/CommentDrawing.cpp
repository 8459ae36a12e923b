#include "CommentDrawing.h"

#include "RecordIds.h"
#include "Strings.h"

#include <algorithm>

namespace markwell::xls {

namespace {

constexpr std::uint16_t kDggContainer = 0xF000;
constexpr std::uint16_t kDgContainer = 0xF002;
constexpr std::uint16_t kSpgrContainer = 0xF003;
constexpr std::uint16_t kSpContainer = 0xF004;
constexpr std::uint16_t kFdgg = 0xF006;
constexpr std::uint16_t kFdg = 0xF008;
constexpr std::uint16_t kFspgr = 0xF009;
constexpr std::uint16_t kFsp = 0xF00A;
constexpr std::uint16_t kOpt = 0xF00B;
constexpr std::uint16_t kClientTextbox = 0xF00D;
constexpr std::uint16_t kClientAnchor = 0xF010;
constexpr std::uint16_t kClientData = 0xF011;
constexpr std::uint16_t kSplitMenuColors = 0xF11E;
constexpr unsigned kTextBoxShape = 202;
constexpr std::size_t kMaxNoteChars = 32767;

void header(ByteWriter& w, unsigned ver, unsigned inst, std::uint16_t type, std::size_t length) {
    w.u16((inst << 4) | ver);
    w.u16(type);
    w.u32(static_cast<std::uint32_t>(length));
}

// Sizes of one comment's shape container: FSP, OPT with 7 properties, anchor, client data, and the
// client text box that follows in the next MSODRAWING record.
constexpr std::size_t kOptProps = 7;
constexpr std::size_t kShapeBody = (8 + 8) + (8 + 6 * kOptProps) + (8 + 18) + 8 + 8;
constexpr std::size_t kGroupShape = 8 + (8 + 16) + (8 + 8);

void shapeHead(ByteWriter& w, std::uint32_t spid, const NoteSpec& note) {
    header(w, 0xF, 0, kSpContainer, kShapeBody);
    header(w, 2, kTextBoxShape, kFsp, 8);
    w.u32(spid);
    w.u32(0x0A00); // has an anchor and a shape type
    header(w, 3, kOptProps, kOpt, 6 * kOptProps);
    auto prop = [&](unsigned id, std::uint32_t value) {
        w.u16(id);
        w.u32(value);
    };
    prop(0x0080, 0);          // text id
    prop(0x00BF, 0x00080008); // text fits the shape
    prop(0x0181, 0x08000050); // fill: the tool tip colour
    prop(0x0183, 0x08000050);
    prop(0x01BF, 0x00100010);
    prop(0x023F, 0x00030003); // shadow
    prop(0x03BF, note.visible ? 0x000A0000 : 0x000A0002);
    // Anchor: a box to the right of the cell, as spreadsheet programs place new comments.
    header(w, 0, 0, kClientAnchor, 18);
    const unsigned col1 = static_cast<unsigned>(std::min(note.col + 1, 255));
    const unsigned row1 = static_cast<unsigned>(note.row > 0 ? note.row - 1 : 0);
    w.u16(3);
    w.u16(col1);
    w.u16(0x00F0);
    w.u16(row1);
    w.u16(0x001E);
    w.u16(std::min(col1 + 2, 255u));
    w.u16(0x00F0);
    w.u16(std::min(row1 + 4, 65535u));
    w.u16(0x001E);
    header(w, 0, 0, kClientData, 0);
}

} // namespace

int CommentDrawing::addDrawing(std::size_t comments) {
    Drawing d;
    d.shapes = comments + 1;
    d.clusters = (d.shapes + 1023) / 1024;
    d.firstSpid = m_nextCluster * 1024;
    m_nextCluster += static_cast<std::uint32_t>(d.clusters);
    m_drawings.push_back(d);
    return static_cast<int>(m_drawings.size());
}

Bytes CommentDrawing::drawingGroup() const {
    std::size_t clusters = 0, shapes = 0;
    for (const Drawing& d : m_drawings) {
        clusters += d.clusters;
        shapes += d.shapes;
    }
    const std::size_t fdgg = 16 + 8 * clusters;
    const std::size_t opt = 6 * 3;
    ByteWriter w;
    header(w, 0xF, 0, kDggContainer, (8 + fdgg) + (8 + opt) + (8 + 16));
    header(w, 0, 0, kFdgg, fdgg);
    w.u32(m_nextCluster * 1024); // next free shape id
    w.u32(static_cast<std::uint32_t>(clusters + 1));
    w.u32(static_cast<std::uint32_t>(shapes));
    w.u32(static_cast<std::uint32_t>(m_drawings.size()));
    for (std::size_t i = 0; i < m_drawings.size(); ++i) {
        std::size_t left = m_drawings[i].shapes;
        for (std::size_t c = 0; c < m_drawings[i].clusters; ++c) {
            const std::size_t inThis = std::min<std::size_t>(left, 1024);
            w.u32(static_cast<std::uint32_t>(i + 1));
            w.u32(static_cast<std::uint32_t>(inThis + 1));
            left -= inThis;
        }
    }
    header(w, 3, 3, kOpt, opt);
    w.u16(0x00BF);
    w.u32(0x00080008);
    w.u16(0x0181);
    w.u32(0x08000041);
    w.u16(0x01C0);
    w.u32(0x08000040);
    header(w, 0, 4, kSplitMenuColors, 16);
    w.u32(0x0800000D);
    w.u32(0x0800000C);
    w.u32(0x08000017);
    w.u32(0x100000F7);
    return std::move(w.data());
}

void CommentDrawing::writeSheet(RecordWriter& out, int drawingId, const std::vector<NoteSpec>& notes) const {
    const Drawing& d = m_drawings.at(static_cast<std::size_t>(drawingId - 1));
    const std::size_t shapesBytes = kGroupShape + notes.size() * (8 + kShapeBody);
    const std::size_t dgBody = (8 + 8) + (8 + shapesBytes);

    for (std::size_t k = 0; k < notes.size(); ++k) {
        const NoteSpec& note = notes[k];
        const auto spid = d.firstSpid + 1 + static_cast<std::uint32_t>(k);
        ByteWriter w;
        if (k == 0) {
            header(w, 0xF, 0, kDgContainer, dgBody);
            header(w, 0, static_cast<unsigned>(drawingId), kFdg, 8);
            w.u32(static_cast<std::uint32_t>(d.shapes));
            w.u32(d.firstSpid + static_cast<std::uint32_t>(notes.size()));
            header(w, 0xF, 0, kSpgrContainer, shapesBytes);
            header(w, 0xF, 0, kSpContainer, kGroupShape - 8);
            header(w, 1, 0, kFspgr, 16);
            w.zeros(16);
            header(w, 2, 0, kFsp, 8);
            w.u32(d.firstSpid);
            w.u32(0x0005); // group, patriarch
        }
        shapeHead(w, spid, note);
        out.write(rec::kMsoDrawing, w);

        ByteWriter obj;
        obj.u16(0x15); // common object data
        obj.u16(0x12);
        obj.u16(0x19); // comment
        obj.u16(static_cast<unsigned>(k + 1));
        obj.u16(0x4011); // locked, printable, automatic fill
        obj.zeros(12);
        obj.u16(0x0D); // note structure
        obj.u16(0x16);
        for (int i = 0; i < 16; ++i) {
            obj.u8(static_cast<unsigned>((spid * 31 + static_cast<unsigned>(i) * 7) & 0xFF));
        }
        obj.u16(0);
        obj.u32(0);
        obj.u32(0); // end
        out.write(rec::kObj, obj);

        ByteWriter box;
        header(box, 0, 0, kClientTextbox, 0);
        out.write(rec::kMsoDrawing, box);

        std::u16string text = utf8ToUtf16(note.text);
        text.resize(cutWithinLimit(text, kMaxNoteChars));
        ByteWriter txo;
        txo.u16(0x0212); // left, top, text locked
        txo.u16(0);
        txo.zeros(6);
        txo.u16(static_cast<unsigned>(text.size()));
        txo.u16(text.empty() ? 0 : 16);
        txo.u32(0);
        out.write(rec::kTxo, txo);
        if (!text.empty()) {
            // The characters, split over as many CONTINUE records as needed, each with its own flags
            // and never between the two halves of a surrogate pair.
            const bool compressed = fitsCompressed(text);
            const std::size_t perRecord = (rec::kMaxRecordData - 1) / (compressed ? 1 : 2);
            const std::u16string_view all(text);
            for (std::size_t at = 0; at < all.size();) {
                const std::size_t n = cutWithinLimit(all.substr(at), perRecord);
                ByteWriter part;
                writeFlaggedChars(part, all.substr(at, n));
                out.write(rec::kContinue, part);
                at += n;
            }
            ByteWriter runs;
            runs.u16(0);
            runs.u16(0);
            runs.u32(0);
            runs.u16(static_cast<unsigned>(text.size()));
            runs.u16(0);
            runs.u32(0);
            out.write(rec::kContinue, runs);
        }
    }
    for (std::size_t k = 0; k < notes.size(); ++k) {
        const NoteSpec& note = notes[k];
        ByteWriter w;
        w.u16(static_cast<unsigned>(note.row));
        w.u16(static_cast<unsigned>(note.col));
        w.u16(note.visible ? 0x0002 : 0);
        w.u16(static_cast<unsigned>(k + 1));
        std::u16string author = utf8ToUtf16(note.author);
        author.resize(cutWithinLimit(author, 255));
        writeUnicodeString16(w, author);
        w.u8(0);
        out.write(rec::kNote, w);
    }
}

} // namespace markwell::xls
