#pragma once

#include "workbook/sheet/CellRef.h"
#include "workbook/sheet/Workbook.h"

#include <optional>
#include <string>
#include <vector>

namespace markwell::render {

// A run of sheet rows or columns, both ends inclusive (0-based).
struct Span {
    int first = 0;
    int last = -1;
    bool empty() const { return last < first; }
    friend bool operator==(const Span&, const Span&) = default;
};

// What a sheet asks of printing: the areas to print, in order (its Print_Area, else the cells in
// use from A1), and the rows and columns repeated on the pages (its Print_Titles).
struct PrintRanges {
    std::vector<sheet::Area> areas;
    std::optional<Span> titleRows;
    std::optional<Span> titleColumns;
};

// Reads the sheet's Print_Area and Print_Titles names. Parts of them that are not cells of this
// sheet, or that no longer refer to cells (#REF!), are left out; a sheet without a usable print
// area prints the cells in use, from A1 to the last row and column holding something. An empty
// sheet has no area.
PrintRanges printRangesOf(const sheet::Workbook& workbook, int sheetIndex);

// Paper, in inches, portrait. The codes are the spreadsheet paper sizes (1 Letter, 5 Legal,
// 9 A4 ...); an unknown code is Letter.
struct Paper {
    double width = 8.5;
    double height = 11.0;
};
Paper paperOf(int paperCode);

// One printed page: the body cells and the titles repeated above and left of them.
struct PrintPage {
    int area = 0; // index into PrintRanges::areas
    Span rows, columns;
    std::optional<Span> titleRows, titleColumns;
    friend bool operator==(const PrintPage&, const PrintPage&) = default;
};

// How a spreadsheet program splits a sheet into pages, in twips (1/20 point) at the sizes the
// workbook stores (see LayoutUnit::Twip).
//
// The page set-up gives the paper, its orientation, the margins and the print scale; the room
// for cells is the paper inside the margins, divided by the scale. Each print area is cut into
// bands of columns that fit across the room and bands of rows that fit down it; pages go down
// first, then across (the first column band from top to bottom, then the next). A column or row
// that is larger than the room on its own gets a page of its own and is cut at the edge; hidden
// columns and rows take no room.
//
// The title rows are printed above the body of every page whose first row lies below them, and
// the title columns left of every page whose first column lies right of them; where the titles
// are part of the page itself (the first page of a gradebook, whose header row is among its own
// rows) they are not repeated. Repeated titles take their room from the body.
//
// A sheet with nothing to print still gives one empty page, for the header and footer.
class PrintLayout {
public:
    PrintLayout(const sheet::Sheet& sheet, PrintRanges ranges, int maxDigitWidth);

    const PrintRanges& ranges() const { return m_ranges; }
    const std::vector<PrintPage>& pages() const { return m_pages; }

    // The paper as printed (turned for landscape), in points.
    double pageWidthPoints() const { return m_pageWidth * 72.0; }
    double pageHeightPoints() const { return m_pageHeight * 72.0; }
    // The print scale (1 at 100 %), and printed points per sheet pixel (0.75 at 100 %).
    double scale() const { return m_scale; }
    double pointsPerPixel() const { return 0.75 * m_scale; }
    // The room for cells on a page, in twips of the sheet (before the scale).
    int roomWidth() const { return m_roomWidth; }
    int roomHeight() const { return m_roomHeight; }

    // The twips a block of columns or rows takes on paper (before the scale).
    int columnsWidth(Span columns) const;
    int rowsHeight(Span rows) const;

private:
    std::vector<std::pair<Span, std::optional<Span>>> bands(Span all, const std::optional<Span>& titles, int room,
                                                            bool columns) const;
    int extent(int index, bool column) const;

    const sheet::Sheet& m_sheet;
    PrintRanges m_ranges;
    int m_mdw;
    double m_pageWidth = 8.5, m_pageHeight = 11.0; // inches
    double m_scale = 1.0;
    int m_roomWidth = 0, m_roomHeight = 0;
    std::vector<PrintPage> m_pages;
};

// A header or footer with its codes replaced, one text per section. The codes are those of the
// spreadsheet page set-up: &L, &C and &R start the left, centre and right sections (text before
// any of them is centred), &P is the page number (&P+n and &P-n add to it), &N the number of
// pages, &D the date, &T the time, &A the sheet name, &F the file name, && an ampersand. Font,
// size, colour and style codes (&"Arial,Bold", &12, &B, &I, &U, &K...) are dropped, as is any
// code this does not know.
struct HeaderFooterText {
    std::string left, center, right;
    bool empty() const { return left.empty() && center.empty() && right.empty(); }
    friend bool operator==(const HeaderFooterText&, const HeaderFooterText&) = default;
};

struct HeaderFooterFields {
    int page = 1;
    int pages = 1;
    std::string sheetName, fileName, date, time;
};

HeaderFooterText expandHeaderFooter(const std::string& codes, const HeaderFooterFields& fields);

} // namespace markwell::render
