#pragma once

#include "RecordWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace markwell::xls {

// A cell comment as the drawing layer needs it.
struct NoteSpec {
    int row = 0, col = 0;
    std::string text, author;
    bool visible = false;
};

// Cell comments are drawing objects: each sheet with comments has one drawing (MSODRAWING records
// with a shape per comment, each followed by its OBJ and TXO), the workbook one MSODRAWINGGROUP
// that counts the shapes of all drawings.
class CommentDrawing {
public:
    // Reserves shape ids for a sheet's comments; returns the drawing id (1-based).
    int addDrawing(std::size_t comments);
    bool empty() const { return m_drawings.empty(); }

    Bytes drawingGroup() const;
    // The drawing, OBJ, TXO and NOTE records of one sheet, in the order the sheet substream wants.
    void writeSheet(RecordWriter& out, int drawingId, const std::vector<NoteSpec>& notes) const;

private:
    struct Drawing {
        std::uint32_t firstSpid = 0;
        std::size_t shapes = 0; // including the group shape
        std::size_t clusters = 0;
    };
    std::vector<Drawing> m_drawings;
    std::uint32_t m_nextCluster = 1;
};

} // namespace markwell::xls
